#include "platform/linux/live_registry.h"

#include "platform/linux/sysfs_registry.h"

namespace berth::linux_host {

LiveRegistry::LiveRegistry(std::filesystem::path sysfs_root)
    : root_(std::move(sysfs_root)), current_(std::make_unique<sim::SimRegistry>(sim::RegistryModel{})) {}

kern_return_t LiveRegistry::get_matching_services(std::string_view class_name, io_object_t* iterator) {
  const sim::RegistryCounts& held = current_->counts();
  if (held.entries_held() == 0 && held.iterators_held() == 0 && held.tables_held() == 0) {
    current_ = std::make_unique<sim::SimRegistry>(read_sysfs_registry(root_));
  }
  return current_->get_matching_services(class_name, iterator);
}

}  // namespace berth::linux_host
