#pragma once
// The register-control driver on Linux, where the kernel's sysfs gives what the maker's
// driver gave: one service per PCI function that the registry scan accepted as a dock's
// SATA controller (no other function is ever opened, mapped or written), a connection
// that maps the function's BAR5 (`resource5`), and the selectors the client relies on:
//
//   0, 1       succeed (the connection is the mapping)
//   7, 8       32-bit read and write at the BAR5 byte offset (4-aligned, inside the BAR)
//   9, 10, 11  bus, device, function from the sysfs address; vendor and device ID, then
//              subsystem vendor and subsystem ID, from the function's `config`
//   12         waits the given number of microseconds (the sim's unit; at most 2^32-1)
//   others     kIOReturnUnsupported
//
// A refused open prints one line saying why and what to do; last_refusal() tells the
// front end the cause.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/driver_port.h"
#include "platform/linux/access_refusal.h"
#include "platform/linux/bar_mapping.h"

namespace berth::linux_host {

class SysfsDriver final : public DriverPort {
 public:
  // `sysfs_root` is /sys on the live machine; `functions` are "DDDD:BB:DD.F" addresses.
  SysfsDriver(std::filesystem::path sysfs_root, std::vector<std::string> functions);

  kern_return_t get_matching_services(std::string_view class_name, std::vector<io_object_t>& found) override;
  kern_return_t service_open(io_object_t service, std::uint32_t type, io_connect_t* connection) override;
  kern_return_t service_close(io_connect_t connection) override;
  kern_return_t call_method(io_connect_t connection, std::uint32_t selector, std::span<const std::uint64_t> scalars_in,
                            std::span<const std::uint8_t> struct_in, std::uint64_t* scalars_out,
                            std::uint32_t* scalar_out_count, void* struct_out, std::size_t* struct_out_size) override;

  // Every call is written to standard error as the simulated driver writes it.
  void set_trace(bool on) { trace_ = on; }
  // Why the last service_open was refused; nothing after one that succeeded.
  std::optional<Refusal> last_refusal() const { return last_refusal_; }
  std::size_t open_connections() const { return connections_.size(); }

 private:
  static constexpr io_object_t kFirstService = 0x4000;

  struct Connection {
    std::size_t service;
    std::unique_ptr<BarMapping> bar;
  };
  struct Call;

  kern_return_t refuse(const std::string& function, AccessFacts facts, const std::filesystem::path& device_dir);
  kern_return_t dispatch(Connection& connection, std::uint32_t selector, Call& call);
  kern_return_t identity(Connection& connection, std::uint32_t selector, Call& call) const;

  std::filesystem::path root_;
  std::vector<std::string> functions_;
  std::map<io_connect_t, Connection> connections_;
  io_connect_t next_connection_ = 0x5000;
  std::optional<Refusal> last_refusal_;
  std::set<std::string> explained_;  // refusal lines already written
  bool trace_ = false;
};

}  // namespace berth::linux_host
