#pragma once
// The registry of the running system. Docks come and go, and the menu rescans at every
// opening, so the sysfs tree is read again whenever a scan starts with nothing of the
// previous one held (a scan gives back the handles it kept before it matches again).
// Nothing is read before the first scan.
#include <filesystem>
#include <memory>

#include "platform/registry_port.h"
#include "platform/sim/sim_registry.h"

namespace berth::linux_host {

class LiveRegistry final : public RegistryPort {
 public:
  explicit LiveRegistry(std::filesystem::path sysfs_root);

  kern_return_t get_matching_services(std::string_view class_name, io_object_t* iterator) override;
  io_object_t iterator_next(io_object_t iterator) override { return current_->iterator_next(iterator); }
  void object_release(io_object_t object) override { current_->object_release(object); }
  kern_return_t get_child_iterator(io_object_t entry, std::string_view plane, io_object_t* iterator) override {
    return current_->get_child_iterator(entry, plane, iterator);
  }
  kern_return_t get_name_in_plane(io_object_t entry, std::string_view plane, char (&name)[128]) override {
    return current_->get_name_in_plane(entry, plane, name);
  }
  kern_return_t create_properties(io_object_t entry, PropertyTableRef* table) override {
    return current_->create_properties(entry, table);
  }
  void apply_properties(PropertyTableRef table,
                        const std::function<void(const PropertyValue&, const PropertyValue&)>& visit) override {
    current_->apply_properties(table, visit);
  }
  void release_properties(PropertyTableRef table) override { current_->release_properties(table); }

  // The model the last reading gave (what sysfs-to-machine writes).
  const sim::SimRegistry& current() const { return *current_; }

 private:
  std::filesystem::path root_;
  std::unique_ptr<sim::SimRegistry> current_;
};

}  // namespace berth::linux_host
