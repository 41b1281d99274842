#include "platform/sim/registry_json.h"

#include <algorithm>

namespace berth::sim {
namespace {

std::string to_hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (auto b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  return text;
}

constexpr std::string_view kValueKinds = "\"str\", \"wide\", \"data\", \"num\", \"bool\" or \"other\"";

Property property_from_json(const json& pair, std::string_view place) {
  require_array(pair, place);
  if (pair.size() != 2) throw MachineFileError(std::string(place), "a property is a [key, value] pair");
  const std::string key_place = place_of(place, std::size_t{0});
  Property property;
  property.key = pair[0].is_string() ? PropertyValue::make_text(pair[0].get<std::string>())
                                     : property_value_from_json(pair[0], key_place);
  property.value = property_value_from_json(pair[1], place_of(place, std::size_t{1}));
  return property;
}

void apply_failures(RegistryEntry& entry, const json& fail, std::string_view place) {
  require_array(fail, place);
  for (std::size_t i = 0; i < fail.size(); ++i) {
    const std::string what = require_string(fail[i], place_of(place, i));
    if (what == "name") entry.fail_name = true;
    else if (what == "children") entry.fail_children = true;
    else if (what == "properties") entry.fail_properties = true;
    else throw MachineFileError(place_of(place, i), "unknown failure \"" + what + "\" (name, children or properties)");
  }
}

// Reads what `read` reads at `list`/`index` from the current place. An error
// carries its place relative to that step and gets the step put in front on its way
// out, so a JSON pointer is built only for an error, never per entry.
template <class Read>
auto below(std::string_view list, std::size_t index, Read read) -> decltype(read()) {
  try {
    return read();
  } catch (const MachineFileError& error) {
    throw MachineFileError(place_of(list, index) + error.place(), error.what());
  }
}

// Places within an entry are relative to it ("" is the entry itself).
RegistryEntry entry_from_json(const json& node, std::size_t depth, std::size_t& entries) {
  require_object(node, "");
  if (depth > kMaxRegistryDepth)
    throw MachineFileError("", "the registry is nested more than " + std::to_string(kMaxRegistryDepth) +
                                   " entries deep");
  if (++entries > kMaxRegistryEntries)
    throw MachineFileError("", "the registry has more than " + std::to_string(kMaxRegistryEntries) + " entries");
  RegistryEntry entry;
  entry.name = require_string(require(node, "name", ""), "/name");
  if (const json* v = find(node, "location")) entry.location = require_string(*v, "/location");
  if (const json* v = find(node, "class")) entry.class_name = require_string(*v, "/class");
  if (const json* v = find(node, "inherits")) {
    require_array(*v, "/inherits");
    for (std::size_t i = 0; i < v->size(); ++i) entry.inherits.push_back(require_string((*v)[i], place_of("/inherits", i)));
  }
  if (const json* v = find(node, "props")) {
    require_array(*v, "/props");
    for (std::size_t i = 0; i < v->size(); ++i) entry.props.push_back(property_from_json((*v)[i], place_of("/props", i)));
  }
  if (const json* v = find(node, "fail")) apply_failures(entry, *v, "/fail");
  if (const json* v = find(node, "children")) {
    require_array(*v, "/children");
    for (std::size_t i = 0; i < v->size(); ++i)
      entry.children.push_back(below("/children", i, [&] { return entry_from_json((*v)[i], depth + 1, entries); }));
  }
  return entry;
}

json entry_to_json(const RegistryEntry& entry) {
  json node = json::object();
  node["name"] = entry.name;
  if (!entry.location.empty()) node["location"] = entry.location;
  node["class"] = entry.class_name;
  if (!entry.inherits.empty()) node["inherits"] = entry.inherits;
  json props = json::array();
  for (const auto& p : entry.props) {
    const bool plain_key = p.key.kind == ValueKind::text && p.key.has_8bit_text;
    props.push_back(json::array({plain_key ? json(p.key.text) : property_value_to_json(p.key),
                                 property_value_to_json(p.value)}));
  }
  node["props"] = std::move(props);
  json fail = json::array();
  if (entry.fail_name) fail.push_back("name");
  if (entry.fail_children) fail.push_back("children");
  if (entry.fail_properties) fail.push_back("properties");
  if (!fail.empty()) node["fail"] = std::move(fail);
  json children = json::array();
  for (const auto& child : entry.children) children.push_back(entry_to_json(child));
  node["children"] = std::move(children);
  return node;
}

}  // namespace

PropertyValue property_value_from_json(const json& value, std::string_view place) {
  if (!value.is_object() || value.size() != 1)
    throw MachineFileError(std::string(place), "a value is an object with one of " + std::string(kValueKinds));
  const auto entry = value.begin();
  const std::string kind = entry.key();
  const json& content = entry.value();
  const std::string at = place_of(place, kind);
  if (kind == "str") return PropertyValue::make_text(require_string(content, at), true);
  if (kind == "wide") return PropertyValue::make_text(require_string(content, at), false);
  if (kind == "data") return PropertyValue::make_data(require_hex_bytes(content, at));
  if (kind == "num") return PropertyValue::make_number(require_int(content, at));
  if (kind == "bool") return PropertyValue::make_other(require_bool(content, at) ? "Yes" : "No");
  if (kind == "other") return PropertyValue::make_other(content.is_string() ? content.get<std::string>() : content.dump());
  throw MachineFileError(std::string(place), "unknown value kind \"" + kind + "\" (" + std::string(kValueKinds) + ")");
}

json property_value_to_json(const PropertyValue& value) {
  switch (value.kind) {
    case ValueKind::text: return json{{value.has_8bit_text ? "str" : "wide", value.text}};
    case ValueKind::data: return json{{"data", to_hex(value.bytes)}};
    case ValueKind::number: return json{{"num", value.number}};
    case ValueKind::other: break;
  }
  if (value.text == "Yes" || value.text == "No") return json{{"bool", value.text == "Yes"}};
  return json{{"other", value.text}};
}

RegistryModel registry_from_json(const json& section, std::string_view place) {
  require_object(section, place);
  RegistryModel model;
  if (const json* v = find(section, "matching_status")) {
    const std::string at = place_of(place, "matching_status");
    require_array(*v, at);
    for (std::size_t i = 0; i < v->size(); ++i)
      model.matching_status.push_back(static_cast<kern_return_t>(require_uint((*v)[i], place_of(at, i), 0xFFFFFFFF)));
  }
  if (const json* v = find(section, "roots")) {
    const std::string at = place_of(place, "roots");
    std::size_t entries = 0;
    require_array(*v, at);
    for (std::size_t i = 0; i < v->size(); ++i)
      model.roots.push_back(below(at, i, [&] { return entry_from_json((*v)[i], 1, entries); }));
  }
  return model;
}

json registry_to_json(const RegistryModel& model) {
  json section = json::object();
  if (!model.matching_status.empty()) section["matching_status"] = model.matching_status;
  json roots = json::array();
  for (const auto& root : model.roots) roots.push_back(entry_to_json(root));
  section["roots"] = std::move(roots);
  return section;
}

bool RegistryEntry::is_of_class(std::string_view wanted) const {
  return class_name == wanted || std::find(inherits.begin(), inherits.end(), wanted) != inherits.end();
}

}  // namespace berth::sim
