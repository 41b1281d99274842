// The driver-based scan on a simulated register-control driver: dock records from the
// driver services and the SATA candidates, the walk's failures, the drives after the docks.
#include <cstring>

#include "lib/regctl/driver_scan.h"
#include "tests/drive/drive_test_support.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using namespace berth::testing;

constexpr std::uint32_t kDockGuid = 0x003D000A;

// The dock's controller on this bus, with its firmware version in the flash.
json service(std::uint32_t bus, json changes = json::object()) {
  changes.merge_patch({{"bus", bus}, {"flash", {{"bytes_at", {{{"address", "0x10007"}, {"text", "V1.0.20-R06"}}}}}}});
  return dock_controller(changes);
}

// A SATA candidate as the registry scan leaves it.
sCandidateM91xxDev& add_candidate(const std::string& pcidebug, std::uint32_t guid_high = kDockGuid,
                                  std::uint32_t vid = 0x1B21, std::uint32_t did = 0x0612) {
  sCandidateM91xxDev& c = gCandidateM91xxDeviceList[gCandidateM91xxDevCnt++];
  std::strncpy(c.pcidebug, pcidebug.c_str(), sizeof c.pcidebug - 1);
  c.VID = vid;
  c.DID = did;
  c.isGUIDValid = 1;
  c.service_thunderbolt = 0x77;
  c.TB_GUID_high = guid_high;
  c.TB_GUID_low = 0x12345678;
  return c;
}

void set_port(sCandidateM91xxDev& c, std::uint32_t port, const char* model, const char* serial, std::uint32_t unit) {
  std::strncpy(c.model[port], model, 127);
  std::strncpy(c.SN[port], serial, 127);
  c.has_disk[port] = 1;
  c.BSD_unit[port] = unit;
}

class DriverScanTest : public DriveTest {
 protected:
  // A machine with these driver services and, unless given, no disk.
  void install_driver(const std::vector<json>& services, const DriveMachine& drives = DriveMachine()) {
    json doc = json::parse(drives.text());
    doc["driver"] = {{"services", services}};
    install(doc.dump());
  }
  std::uint32_t scan() {
    std::uint32_t count = 0;
    EXPECT_EQ(scan_by_kVantrelRegCtl(&count), kIOReturnSuccess);
    return count;
  }
  std::string err() { return fixture_->console().err(); }
};

TEST_F(DriverScanTest, ADockTakesTheDriversIdentityAndItsCandidatesDisks) {
  install_driver({service(134)});
  sCandidateM91xxDev& c = add_candidate("134:0:0");
  set_port(c, 0, "Model Only", "", 3);
  set_port(c, 1, "Vantrel Archive 4TB", "VA4T00123", 5);
  set_port(c, 2, "", "SerialOnly", 6);
  ASSERT_EQ(scan(), 1u);
  // A port without a serial gets no unit; a serial without a model keeps its unit but
  // only ports with a model count.
  expect_fields(0, {{"valid", 1}, {"is_drive_product", 0}, {"bus_num", 134}, {"VID", 0x1B21}, {"DID", 0x0612},
                    {"SUB_VID", 0x1AB6}, {"SUB_DID", 0x1060}, {"spi_flash_id", 0x001330EF},
                    {"bios_ver", "V1.0.20-R06"}, {"disk_cnt", 2}, {"isGUIDValid", 1}, {"TB_GUID_high", kDockGuid},
                    {"TB_GUID_low", 0x12345678}, {"service_thunderbolt", 0x77},
                    {"sata", {disk(kNoDisk, "Model Only"), disk(5, "Vantrel Archive 4TB", "VA4T00123"),
                              disk(6, "", "SerialOnly"), disk(kNoDisk)}}});
  EXPECT_NE(record(0).service, 0u);
  EXPECT_EQ(fixture_->machine().driver().open_connections(), 0u);
}

// Of the candidates at the service's location, the last with a dock's identity makes
// the record; the ones after it differ in one point each and must not overwrite it.
TEST_F(DriverScanTest, TheLastCandidateWithTheExactLocationAndADocksIdentityMatches) {
  install_driver({service(134)});
  set_port(add_candidate("134:0:0"), 0, "First", "F1", 3);
  sCandidateM91xxDev& second = add_candidate("134:0:0");
  second.TB_GUID_low = 0xCAFE;
  set_port(second, 0, "Second", "S2", 4);
  add_candidate("134:0:0 ");
  add_candidate("134:0:00");
  add_candidate("134:0:0", 0x003E000A);
  add_candidate("134:0:0", kDockGuid, 0x8086);
  add_candidate("134:0:0", kDockGuid, 0x1B21, 0x0611);
  add_candidate("134:0:0").isGUIDValid = 0;
  ASSERT_EQ(scan(), 1u);
  expect_fields(0, {{"TB_GUID_low", 0xCAFE},
                    {"sata", {disk(4, "Second", "S2"), disk(kNoDisk), disk(kNoDisk), disk(kNoDisk)}}});
  EXPECT_EQ(vtr_device_list[1].valid, 0);
}

// Service 7 matches no candidate and service 134 cannot be opened: neither takes a
// slot, but the unmatched services leave their identity in the slot they were read into.
TEST_F(DriverScanTest, AServiceOutsideTheCandidatesOrThatCannotBeOpenedTakesNoSlot) {
  install_driver(
      {service(7), service(134, {{"open_status", "0xE00002C2"}}), service(135, {{"did", "0x9182"}}), service(8)});
  add_candidate("134:0:0");
  add_candidate("135:0:0", kDockGuid, 0x1B21, 0x9182);
  ASSERT_EQ(scan(), 1u);
  expect_fields(0, {{"valid", 1}, {"bus_num", 135}, {"DID", 0x9182}});
  expect_fields(1, {{"valid", 0}, {"bus_num", 8}, {"spi_flash_id", 0x001330EF}});
}

// A dock takes a slot where a drive was; service 7 matches nothing but is read into the
// slot after the dock, where the drive's report is cached: the report is fetched anew.
TEST_F(DriverScanTest, DocksOverwriteDrivesButUnmatchedServicesNeverLeaveTheirIdentityInOne) {
  install_driver({service(134), service(7)}, DriveMachine().drive(4));
  add_candidate("134:0:0");
  vtr_device_list[0].dev.is_drive_product = 1;
  vtr_device_list[0].dev.dev_kind = 3;
  ASSERT_EQ(scan(), 2u);
  expect_fields(0, {{"is_drive_product", 0}, {"dev_kind", 1}});
  expect_fields(1, {{"is_drive_product", 1}, {"bus_num", 4}, {"bios_ver", "ZC1.05.0012B"}});
  ASSERT_EQ(scan(), 2u);
  expect_fields(1, {{"is_drive_product", 1}, {"bus_num", 4}, {"bios_ver", "ZC1.05.0012B"}});
}

TEST_F(DriverScanTest, AFailedQueryOrListingEndsTheWalkWithItsOwnLine) {
  for (const auto& [selector, name] : {std::pair{10, "My_get_vid_did"}, std::pair{9, "My_get_bus_dev_fun_num"},
                                       std::pair{7, "get_VID_DID_9182_spi_flash"}}) {
    install_driver({service(134), service(135, {{"faults", {{"fail_selector", selector}}}}), service(136)});
    for (const char* location : {"134:0:0", "135:0:0", "136:0:0"}) add_candidate(location);
    ASSERT_EQ(scan(), 1u) << name;
    const std::string line = format("service=%x, scan_by_kVantrelRegCtl:%s Err\n",
                                    static_cast<unsigned>(record(0).service + 1), name);
    EXPECT_NE(err().find(line), std::string::npos) << err();
    EXPECT_EQ(vtr_device_list[1].valid, 0) << name;
    EXPECT_EQ(fixture_->machine().driver().open_connections(), 0u) << name;
  }
  // Services that cannot be listed leave the count alone.
  install(R"({"driver": {"matching_status": "0xE00002C7", "services": []}})");
  std::uint32_t count = 77;
  EXPECT_EQ(scan_by_kVantrelRegCtl(&count), kIOReturnError);
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(err(), "IOServiceGetMatchingServices returned 0xe00002c7\n\n");
}

TEST_F(DriverScanTest, TheSixteenthDockEndsTheWalkAndLeavesNoRoomForDrives) {
  std::vector<json> services;
  for (std::uint32_t bus = 100; bus < 117; ++bus) services.push_back(service(bus));
  install_driver(services, DriveMachine().drive(4));
  for (std::uint32_t bus = 100; bus < 117; ++bus) add_candidate(std::to_string(bus) + ":0:0");
  ASSERT_EQ(scan(), 16u);
  EXPECT_NE(err().find("scan_by_kVantrelRegCtl Err9"), std::string::npos);
  EXPECT_EQ(fixture_->machine().driver().connections_opened(), 16u);
  expect_fields(15, {{"bus_num", 115}, {"is_drive_product", 0}});
}

}  // namespace
}  // namespace berth
