#include "tests/support/sim_fixture.h"

#include <cstring>

#include "lib/discovery/device_tables.h"

namespace berth::testing {

std::filesystem::path machines_dir() { return BERTH_TEST_MACHINES_DIR; }

void reset_device_tables() {
  std::memset(gIOPCIDevList, 0, sizeof gIOPCIDevList);
  std::memset(gCandidateM91xxDeviceList, 0, sizeof gCandidateM91xxDeviceList);
  std::memset(gCandidateFL1100DeviceList, 0, sizeof gCandidateFL1100DeviceList);
  std::memset(static_cast<void*>(vtr_device_list), 0, sizeof vtr_device_list);
  gIOPCIDevCnt = gCandidateM91xxDevCnt = gCandidateFL1100DevCnt = 0;
}

SimFixture::SimFixture(const sim::MachineFile& file)
    : console_(std::make_unique<sim::CaptureConsole>()),
      log_(std::make_unique<sim::MemorySystemLog>()),
      machine_(std::make_unique<sim::SimMachine>(file)) {
  reset_device_tables();
  installed_ = std::make_unique<ScopedServices>(machine_->services(Services{nullptr, console_.get(), log_.get()}));
}

SimFixture SimFixture::from_file(const std::string& name) {
  return SimFixture(sim::MachineFile::load(machines_dir() / name));
}

SimFixture SimFixture::from_json(const std::string& text) {
  return SimFixture(sim::MachineFile::parse(text, "<inline>", machines_dir()));
}

}  // namespace berth::testing
