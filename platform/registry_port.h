#pragma once
// The registry port: what the discovery library needs of the operating system's
// device registry (service matching, child iteration, names, property tables).
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/io_types.h"

namespace berth {

enum class ValueKind { text, data, number, other };

// One key or value of a property table. Text may lack an 8-bit form (the registry
// then gives no C string for it); "other" stands for booleans, dictionaries, arrays.
struct PropertyValue {
  ValueKind kind = ValueKind::other;
  bool has_8bit_text = true;        // text only
  std::string text;                 // text only
  std::vector<std::uint8_t> bytes;  // data only
  std::int64_t number = 0;          // number only

  static PropertyValue make_text(std::string t, bool has_8bit = true);
  static PropertyValue make_data(std::vector<std::uint8_t> b);
  static PropertyValue make_number(std::int64_t n);
  static PropertyValue make_other(std::string description = {});

  // The 8-bit text of a text value, or nullptr (not text, or no 8-bit form).
  const char* c_string_ptr() const;
};

struct Property {
  PropertyValue key;
  PropertyValue value;
};

using PropertyTableRef = std::uint32_t;  // 0 is none

inline constexpr std::string_view kIOServicePlane = "IOService";

class RegistryPort {
 public:
  virtual ~RegistryPort() = default;

  // An iterator over every service whose class is class_name or derives from it.
  virtual kern_return_t get_matching_services(std::string_view class_name, io_object_t* iterator) = 0;
  // The next entry (a handle the caller must give back), 0 at the end.
  virtual io_object_t iterator_next(io_object_t iterator) = 0;
  // Gives back an entry handle or an iterator.
  virtual void object_release(io_object_t object) = 0;
  virtual kern_return_t get_child_iterator(io_object_t entry, std::string_view plane, io_object_t* iterator) = 0;
  // Name of the entry in the plane, at most 127 characters and NUL.
  virtual kern_return_t get_name_in_plane(io_object_t entry, std::string_view plane, char (&name)[128]) = 0;
  virtual kern_return_t create_properties(io_object_t entry, PropertyTableRef* table) = 0;
  // Calls visit once per key and value, in the table's own order.
  virtual void apply_properties(PropertyTableRef table,
                                const std::function<void(const PropertyValue& key, const PropertyValue& value)>& visit) = 0;
  virtual void release_properties(PropertyTableRef table) = 0;
};

}  // namespace berth
