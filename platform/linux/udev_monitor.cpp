#include "platform/linux/udev_monitor.h"

#include <libudev.h>

#include <array>
#include <string_view>

#include "platform/services.h"

namespace berth::linux_host {
namespace {

constexpr std::array kSubsystems{"pci", "thunderbolt", "block", "usb"};
constexpr std::array<std::string_view, 5> kRelevantActions{"add", "remove", "change", "bind", "unbind"};
// A burst (a dock with its hubs and disks) is some dozens of events; this bounds one
// drain so that a flood cannot keep the caller's loop from going on.
constexpr int kMaxEventsPerDrain = 4096;

bool relevant(const char* action) {
  if (!action) return false;
  for (std::string_view a : kRelevantActions)
    if (a == action) return true;
  return false;
}

}  // namespace

void UdevMonitor::UdevUnref::operator()(udev* handle) const { udev_unref(handle); }
void UdevMonitor::MonitorUnref::operator()(udev_monitor* handle) const { udev_monitor_unref(handle); }

UdevMonitor::UdevMonitor(std::unique_ptr<udev, UdevUnref> context, std::unique_ptr<udev_monitor, MonitorUnref> monitor)
    : context_(std::move(context)), monitor_(std::move(monitor)) {}

std::optional<UdevMonitor> UdevMonitor::open() {
  std::unique_ptr<udev, UdevUnref> context(udev_new());
  if (!context) {
    syslog_printf("udev: no udev context; device changes are seen only when the menu opens");
    return std::nullopt;
  }
  std::unique_ptr<udev_monitor, MonitorUnref> monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
  bool ok = monitor != nullptr;
  for (const char* subsystem : kSubsystems)
    ok = ok && udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), subsystem, nullptr) >= 0;
  ok = ok && udev_monitor_enable_receiving(monitor.get()) >= 0;
  if (!ok) {
    syslog_printf("udev: cannot listen to device events; device changes are seen only when the menu opens");
    return std::nullopt;
  }
  return UdevMonitor(std::move(context), std::move(monitor));
}

int UdevMonitor::fd() const { return udev_monitor_get_fd(monitor_.get()); }

bool UdevMonitor::drain() {
  bool any = false;
  for (int i = 0; i < kMaxEventsPerDrain; ++i) {
    udev_device* device = udev_monitor_receive_device(monitor_.get());
    if (!device) break;
    any = relevant(udev_device_get_action(device)) || any;
    udev_device_unref(device);
  }
  return any;
}

}  // namespace berth::linux_host
