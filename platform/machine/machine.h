#pragma once
// The machine a program runs on: the one place that chooses the backends behind the
// ports and puts them in service together. A simulated machine (the demo, a machine
// file, a registry dump) is the sim behind every port; the live machine reads the
// running Linux system.
#include <memory>
#include <stdexcept>
#include <string>

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

  // The machine's ports over base (whose console and system log are kept).
  Services services(const Services& base) const;
  // The simulated parts: every part of a simulated machine; on the live machine the
  // virtual run loop, script runner and launcher that headless runs use.
  sim::SimMachine& simulated() { return *sim_; }
  bool is_demo() const { return choice_.source == MachineSource::demo; }
  const MachineChoice& choice() const { return choice_; }
  // Writes every driver call to standard error.
  void set_trace(bool on);
  // The application's own resources (images, interface file) for a machine whose file
  // names none: for running the application, where the drive tools are not wanted.
  void use_application_resources();

  Machine(MachineChoice choice, HostPaths host, std::unique_ptr<sim::SimMachine> sim);

 private:
  MachineChoice choice_;
  HostPaths host_;
  std::unique_ptr<sim::SimMachine> sim_;
};

}  // namespace berth::machine
