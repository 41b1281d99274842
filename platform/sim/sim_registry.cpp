#include "platform/sim/sim_registry.h"

#include <cstring>

namespace berth::sim {

SimRegistry::SimRegistry(RegistryModel model) : model_(std::move(model)) {
  for (const auto& root : model_.roots) add_node(root);
}

std::size_t SimRegistry::add_node(const RegistryEntry& entry) {
  const std::size_t index = nodes_.size();
  nodes_.push_back(Node{&entry, {}});
  for (const auto& child : entry.children) {
    const std::size_t child_index = add_node(child);
    nodes_[index].children.push_back(child_index);
  }
  return index;
}

const SimRegistry::Node* SimRegistry::node_of(io_object_t handle) {
  if (handle < kFirstEntryHandle || handle - kFirstEntryHandle >= nodes_.size() || !held_entries_.contains(handle)) {
    ++counts_.unheld_uses;
    return nullptr;
  }
  return &nodes_[handle - kFirstEntryHandle];
}

io_object_t SimRegistry::open_iterator(std::vector<std::size_t> nodes) {
  const io_object_t handle = next_iterator_++;
  iterators_.emplace(handle, Iterator{std::move(nodes), 0});
  ++counts_.iterators_taken;
  return handle;
}

kern_return_t SimRegistry::get_matching_services(std::string_view class_name, io_object_t* iterator) {
  const std::size_t nth = counts_.matchings++;
  if (nth < model_.matching_status.size() && model_.matching_status[nth] != kIOReturnSuccess)
    return model_.matching_status[nth];
  std::vector<std::size_t> matches;
  for (std::size_t i = 0; i < nodes_.size(); ++i)
    if (nodes_[i].entry->is_of_class(class_name)) matches.push_back(i);
  *iterator = open_iterator(std::move(matches));
  return kIOReturnSuccess;
}

io_object_t SimRegistry::iterator_next(io_object_t iterator) {
  const auto it = iterators_.find(iterator);
  if (it == iterators_.end() || it->second.next >= it->second.nodes.size()) return 0;
  const io_object_t handle = handle_of(it->second.nodes[it->second.next++]);
  ++held_entries_[handle];
  ++counts_.entries_taken;
  return handle;
}

void SimRegistry::object_release(io_object_t object) {
  if (iterators_.erase(object) == 1) {
    ++counts_.iterators_released;
    return;
  }
  const auto held = held_entries_.find(object);
  if (held == held_entries_.end()) {
    ++counts_.bad_releases;
    return;
  }
  ++counts_.entries_released;
  if (--held->second == 0) held_entries_.erase(held);
}

kern_return_t SimRegistry::get_child_iterator(io_object_t entry, std::string_view plane, io_object_t* iterator) {
  const Node* node = node_of(entry);
  if (!node || plane != kIOServicePlane || node->entry->fail_children) return kIOReturnError;
  *iterator = open_iterator(node->children);
  return kIOReturnSuccess;
}

kern_return_t SimRegistry::get_name_in_plane(io_object_t entry, std::string_view plane, char (&name)[128]) {
  const Node* node = node_of(entry);
  if (!node || plane != kIOServicePlane || node->entry->fail_name) return kIOReturnError;
  const std::string& text = node->entry->name;
  const std::size_t length = std::min(text.size(), sizeof name - 1);
  std::memcpy(name, text.data(), length);
  name[length] = '\0';
  return kIOReturnSuccess;
}

kern_return_t SimRegistry::create_properties(io_object_t entry, PropertyTableRef* table) {
  const Node* node = node_of(entry);
  if (!node || node->entry->fail_properties) return kIOReturnError;
  const PropertyTableRef ref = next_table_++;
  tables_.emplace(ref, &node->entry->props);
  ++counts_.tables_taken;
  *table = ref;
  return kIOReturnSuccess;
}

void SimRegistry::apply_properties(PropertyTableRef table,
                                   const std::function<void(const PropertyValue&, const PropertyValue&)>& visit) {
  const auto it = tables_.find(table);
  if (it == tables_.end()) return;
  for (const auto& property : *it->second) visit(property.key, property.value);
}

void SimRegistry::release_properties(PropertyTableRef table) {
  if (tables_.erase(table) == 1) ++counts_.tables_released;
  else ++counts_.bad_releases;
}

}  // namespace berth::sim
