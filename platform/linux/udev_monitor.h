#pragma once
// Hears the kernel's device events (through udev) that can change what the scan
// finds: PCI functions and Thunderbolt devices coming and going, USB devices and
// block devices. The owner polls fd() in its event loop and calls drain() when it is
// readable; a true result means a rescan is due.
#include <memory>
#include <optional>

struct udev;
struct udev_monitor;

namespace berth::linux_host {

class UdevMonitor {
 public:
  // A monitor receiving the "udev" netlink events of the subsystems pci, thunderbolt,
  // block and usb; nothing, and a line in the system log, when it cannot be set up.
  static std::optional<UdevMonitor> open();

  // Non-blocking; readable while events are pending.
  int fd() const;
  // Reads every pending event; true when any was an add, remove, change, bind or unbind.
  bool drain();

 private:
  struct UdevUnref {
    void operator()(udev* handle) const;
  };
  struct MonitorUnref {
    void operator()(udev_monitor* handle) const;
  };
  UdevMonitor(std::unique_ptr<udev, UdevUnref> context, std::unique_ptr<udev_monitor, MonitorUnref> monitor);

  std::unique_ptr<udev, UdevUnref> context_;
  std::unique_ptr<udev_monitor, MonitorUnref> monitor_;
};

}  // namespace berth::linux_host
