#pragma once
// The machine a program runs on: the one place that chooses the backends behind the
// ports and puts them in service together. A simulated machine (the demo, a machine
// file, a registry dump) is the sim behind every port; the live machine reads the
// running Linux system (registry from sysfs, the dock controllers' registers, the
// disks through UDisks2) and keeps the sim's virtual run loop, script runner and
// launcher for headless runs.
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/linux/access_refusal.h"
#include "platform/machine/host_paths.h"
#include "platform/machine/machine_choice.h"
#include "platform/services.h"
#include "platform/sim/sim_machine.h"

namespace berth::machine {

// A machine that cannot be had; what() is the one line to show the user.
class MachineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Machine {
 public:
  // Throws MachineError.
  static std::unique_ptr<Machine> open(const MachineChoice& choice, const HostPaths& host);
  Machine(MachineChoice choice, HostPaths host, std::unique_ptr<sim::SimMachine> sim);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The machine's ports over base (whose console, system log and processes are kept
  // where the machine has none of its own).
  Services services(const Services& base) const;
  // The simulated parts: every part of a simulated machine; on the live machine the
  // virtual run loop, script runner and launcher that headless runs use.
  sim::SimMachine& simulated() { return *sim_; }
  const MachineChoice& choice() const { return choice_; }
  bool is_demo() const { return choice_.source == MachineSource::demo; }
  // True when the register-control driver reaches real hardware.
  bool has_real_controllers() const;
  // Why the live driver refused the last connection; nothing on a simulated machine.
  std::optional<linux_host::Refusal> driver_refusal() const;
  // Writes every driver call to standard error.
  void set_trace(bool on);
  // The application's own resources (images, interface file) for a machine whose file
  // names none: for running the application, where the drive tools are not wanted.
  void use_application_resources();

 private:
  struct Live;
  struct LiveDisks;
  void open_live();

  MachineChoice choice_;
  HostPaths host_;
  std::unique_ptr<sim::SimMachine> sim_;
  std::unique_ptr<Live> live_;
  std::unique_ptr<LiveDisks> live_disks_;
};

}  // namespace berth::machine
