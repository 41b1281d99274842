#pragma once
// The simulated registry: serves a RegistryModel through the registry port, with
// stable handles, injected failures and a count of everything taken and given back.
#include <map>
#include <string>
#include <vector>

#include "platform/registry_port.h"
#include "platform/sim/registry_model.h"

namespace berth::sim {

struct RegistryCounts {
  std::size_t entries_taken = 0;
  std::size_t entries_released = 0;
  std::size_t iterators_taken = 0;
  std::size_t iterators_released = 0;
  std::size_t tables_taken = 0;
  std::size_t tables_released = 0;
  std::size_t bad_releases = 0;  // a handle given back that was not held
  std::size_t matchings = 0;
  std::size_t unheld_uses = 0;  // an operation on a handle the caller does not hold

  std::size_t entries_held() const { return entries_taken - entries_released; }
  std::size_t iterators_held() const { return iterators_taken - iterators_released; }
  std::size_t tables_held() const { return tables_taken - tables_released; }
};

class SimRegistry final : public RegistryPort {
 public:
  explicit SimRegistry(RegistryModel model);

  kern_return_t get_matching_services(std::string_view class_name, io_object_t* iterator) override;
  io_object_t iterator_next(io_object_t iterator) override;
  void object_release(io_object_t object) override;
  kern_return_t get_child_iterator(io_object_t entry, std::string_view plane, io_object_t* iterator) override;
  kern_return_t get_name_in_plane(io_object_t entry, std::string_view plane, char (&name)[128]) override;
  kern_return_t create_properties(io_object_t entry, PropertyTableRef* table) override;
  void apply_properties(PropertyTableRef table,
                        const std::function<void(const PropertyValue&, const PropertyValue&)>& visit) override;
  void release_properties(PropertyTableRef table) override;

  const RegistryCounts& counts() const { return counts_; }
  // Handle of the entry at this position in document order (depth first), for tests.
  io_object_t handle_of(std::size_t document_index) const { return kFirstEntryHandle + static_cast<io_object_t>(document_index); }
  std::size_t entry_count() const { return nodes_.size(); }
  // Entry handles currently held by the caller, with how many references each.
  const std::map<io_object_t, std::size_t>& held_entries() const { return held_entries_; }

 private:
  static constexpr io_object_t kFirstEntryHandle = 0x1000;
  static constexpr io_object_t kFirstIteratorHandle = 0x80000000;

  struct Node {
    const RegistryEntry* entry;
    std::vector<std::size_t> children;
  };
  struct Iterator {
    std::vector<std::size_t> nodes;
    std::size_t next = 0;
  };

  std::size_t add_node(const RegistryEntry& entry);
  const Node* node_of(io_object_t handle);
  io_object_t open_iterator(std::vector<std::size_t> nodes);

  RegistryModel model_;
  std::vector<Node> nodes_;
  std::map<io_object_t, Iterator> iterators_;
  std::map<io_object_t, std::size_t> held_entries_;
  std::map<PropertyTableRef, const std::vector<Property>*> tables_;
  io_object_t next_iterator_ = kFirstIteratorHandle;
  PropertyTableRef next_table_ = 1;
  RegistryCounts counts_;
};

}  // namespace berth::sim
