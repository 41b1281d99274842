#include "platform/registry_port.h"

#include <utility>

namespace berth {

PropertyValue PropertyValue::make_text(std::string t, bool has_8bit) {
  PropertyValue v;
  v.kind = ValueKind::text;
  v.text = std::move(t);
  v.has_8bit_text = has_8bit;
  return v;
}

PropertyValue PropertyValue::make_data(std::vector<std::uint8_t> b) {
  PropertyValue v;
  v.kind = ValueKind::data;
  v.bytes = std::move(b);
  return v;
}

PropertyValue PropertyValue::make_number(std::int64_t n) {
  PropertyValue v;
  v.kind = ValueKind::number;
  v.number = n;
  return v;
}

PropertyValue PropertyValue::make_other(std::string description) {
  PropertyValue v;
  v.kind = ValueKind::other;
  v.text = std::move(description);
  return v;
}

const char* PropertyValue::c_string_ptr() const {
  if (kind != ValueKind::text || !has_8bit_text) return nullptr;
  return text.c_str();
}

}  // namespace berth
