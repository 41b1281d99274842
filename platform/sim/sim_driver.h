#pragma once
// The simulated register-control driver: one service per controller of the machine
// file, connections, every selector with its argument shapes, injected faults, a log
// of calls for tests and a trace of calls for berthctl --trace.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/driver_port.h"
#include "platform/sim/sim_driver_config.h"
#include "platform/sim/sim_driver_controller.h"

namespace berth::sim {

struct DriverCall {
  io_object_t service = 0;
  std::uint32_t selector = 0;
  std::vector<std::uint64_t> in;
  std::size_t struct_in = 0;
  std::vector<std::uint64_t> out;
  kern_return_t status = 0;
};

class SimDriver final : public DriverPort {
 public:
  explicit SimDriver(const DriverConfig& config);

  kern_return_t get_matching_services(std::string_view class_name, std::vector<io_object_t>& found) override;
  kern_return_t service_open(io_object_t service, std::uint32_t type, io_connect_t* connection) override;
  kern_return_t service_close(io_connect_t connection) override;
  kern_return_t call_method(io_connect_t connection, std::uint32_t selector, std::span<const std::uint64_t> scalars_in,
                            std::span<const std::uint8_t> struct_in, std::uint64_t* scalars_out,
                            std::uint32_t* scalar_out_count, void* struct_out, std::size_t* struct_out_size) override;

  // Every call is written to standard error: "trace sel=8 in=0xa8,0x4 out= status=0x00000000".
  void set_trace(bool on) { trace_ = on; }
  // The call log is off until asked for.
  void record_calls(bool on) { recording_ = on; }
  const std::vector<DriverCall>& calls() const { return calls_; }
  void clear_calls() { calls_.clear(); }

  std::size_t service_count() const { return services_.size(); }
  io_object_t service_handle(std::size_t index) const { return kFirstService + static_cast<io_object_t>(index); }
  SimController& controller(std::size_t index) { return *services_.at(index).controller; }
  std::uint32_t injector_state(std::size_t index) const { return services_.at(index).injector_state; }
  // Sum of the waits asked for with selector 12, in the driver's unit (microseconds).
  std::uint64_t delayed(std::size_t index) const { return services_.at(index).delayed; }
  // Selector calls made on the service's connections so far.
  std::uint64_t call_count(std::size_t index) const { return services_.at(index).calls; }
  std::size_t open_connections() const;
  std::size_t connections_opened() const { return connections_.size(); }

 private:
  static constexpr io_object_t kFirstService = 0x2000;
  static constexpr io_connect_t kFirstConnection = 0x3000;

  struct Service {
    ServiceConfig config;
    std::unique_ptr<SimController> controller;
    std::uint32_t injector_state = 0;
    std::uint64_t calls = 0;
    std::uint64_t delayed = 0;
  };
  struct Connection {
    std::size_t service;
    bool open;
  };
  struct Call {
    std::span<const std::uint64_t> in;
    std::span<const std::uint8_t> struct_in;
    std::uint64_t* out;
    std::uint32_t out_room;
    std::uint32_t out_count = 0;
    void* struct_out;
    std::size_t struct_out_room;
    std::size_t struct_out_size = 0;
  };

  Service* service_of(io_connect_t connection);
  bool faulted(Service& service, std::uint32_t selector) const;
  kern_return_t dispatch(Service& service, std::uint32_t selector, Call& call);
  kern_return_t identity(Call& call, std::initializer_list<std::uint32_t> values);
  kern_return_t injector(Service& service, Call& call);
  void trace(std::uint32_t selector, const Call& call, kern_return_t status) const;

  kern_return_t matching_status_;
  std::vector<Service> services_;
  std::vector<Connection> connections_;
  bool trace_ = false;
  bool recording_ = false;
  std::vector<DriverCall> calls_;
};

}  // namespace berth::sim
