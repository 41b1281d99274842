// berthctl end to end: command lines with their exit status and what they print, a row
// for each path through the program and its usage errors. In the expected texts "..."
// stands for any text, $D for the test's own directory and $M for tests/machines.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "lib/regctl/spi_flash.h"
#include "tests/ioreg/dump_support.h"
#include "tests/regctl/regctl_bench.h"
#include "tests/support/machine_builder.h"
#include "tests/support/run_berthctl.h"
#include "tests/support/sim_fixture.h"

namespace berth {
namespace {

using namespace berth::testing;

struct Invocation {
  std::string args;  // split at blanks
  int status;
  std::string out;
  std::string err = "";
};

// Whether text is the pattern, "..." in it standing for any text: the pattern as a glob,
// "..." its "*" and the glob's own special characters escaped.
bool matches(const std::string& text, std::string_view pattern) {
  std::string glob;
  for (const char c : pattern) glob += std::strchr("*?[\\", c) ? std::string{'\\', c} : std::string{c};
  for (auto at = glob.find("..."); at != std::string::npos; at = glob.find("...", at)) glob.replace(at, 3, "*");
  return ::fnmatch(glob.c_str(), text.c_str(), 0) == 0;
}

class Berthctl : public ::testing::Test {
 protected:
  std::string expand(std::string text) const {
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"$D", dir.path()}, {"$M", machines_dir()}})
      for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
  }
  void expect(const std::vector<Invocation>& runs) const {
    for (const Invocation& run : runs) {
      SCOPED_TRACE(run.args);
      std::vector<std::string> args;
      std::istringstream words(run.args);
      for (std::string word; words >> word;) args.push_back(expand(word));
      const CommandResult result = run_berthctl(args);
      EXPECT_EQ(result.exit_status, run.status) << result.err;
      EXPECT_TRUE(matches(result.out, expand(run.out))) << result.out;
      EXPECT_TRUE(matches(result.err, expand(run.err))) << result.err;
    }
  }
  // A machine file of the directory with one dock controller whose flash lives in flash.bin.
  void controller(const std::string& name, const json& flash = json::object(), const json& changes = json::object()) {
    json service = dock_controller(changes);
    service["flash"] = {{"id", "0x001330EF"}, {"image", "flash.bin"}, {"persist", true}};
    service["flash"].merge_patch(flash);
    dir.write(name, driver_machine({service}));
  }
  TempDir dir;
};

TEST_F(Berthctl, ScanMenuAndEject) {
  // "Type" cut to 15 bytes splits the eighth two-byte character.
  const json medium = entry("m", "IOMedia", json::array({prop_str("Type", "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"), prop_num("BSD Unit", 3)}));
  const json port = entry("p", "Port", json::array({prop_num("PortNum", 1)}), json::array({medium}));
  dir.write("cut-text.json", machine(json::array({thunderbolt("TB", 0x003D0006, 1, json::array({pci_device("usb", kUSBController, json::array({port}))}))})));
  const std::string volumes = "--machine $M/app-dock10-volumes.json ";
  json unreachable = json::parse(std::ifstream(machines_dir() / "app-dock10-volumes.json"));
  unreachable["disks"][4]["volume"]["reachable"] = false;
  dir.write("unreachable.json", unreachable.dump());
  expect({
      {"scan --json", 0,
       R"({"status":"0x00000000","count":1,"docks":[{"slot":0,"valid":1,"dev_kind":1,"type":10,)"
       R"("tb_guid_high":"0x003D000A","tb_guid_low":"0x12345678","bus_num":133,"usb":[{"bsd_unit":255,"media_type":""},)"
       R"(...],"sata":[{"bsd_unit":255},{"bsd_unit":5},...],"tables":{"pci":9,"sata_candidates":9,"usb_candidates":9,)"
       R"("thunderbolt":[{"index":5,"is_guid_valid":1,...,"subtree":17}]}})" "\n"},
      {"--machine $M/dock-type10.json scan", 0, "...1 dock...USB port 2:   disk3...eSATA port 2: disk5..."},
      {"--machine $D/cut-text.json scan --json", 0, "...\"media_type\":\"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\ufffd\"..."},
      {"--machine $D/absent.json menu", 2, "", "berthctl: $D/absent.json: cannot open the file: No such file or directory\n"},
      {"frobnicate", 2, "", "berthctl: unknown command \"frobnicate\"\nusage: berthctl ..."},
      {"scan --bogus", 2, "", "berthctl: unexpected argument \"--bogus\"\nusage: berthctl ..."},
      {"--machine", 2, "", "berthctl: --machine needs a value\nusage: berthctl ..."},
      {"--machine x.json --ioreg y.txt scan", 2, "", "berthctl: --machine, --ioreg, --sysfs and --demo each name the machine; give one\n..."},
      {volumes + "menu --json", 0,
       R"({"items":[{"separator":false,"title":"","tag":"0x000003FF","enabled":true,"action":"ibac_ejectVolumes:",)"
       R"("tooltip":"Eject all volumes","attributed":[{"image":"unit_1"},{"text":" Eject all volumes ","size":14.0,)"
       R"("baseline":5.0},{"image":"eject"}]},{"separator":true},...,"title":"      port 2: Photos",...)"},
      // A refused volume: the eject fails (1), and the alert names who holds it.
      {volumes + "eject --tag 0x101 --json", 1,
       R"({"unmounted":["/Volumes/Travel"],"alerts":[{"title":"Vantrel Berthline Utility",)"
       R"("message":"Failed to eject volume:Photos","button":"Confirm",)"
       R"("informative":"The volume is in use by sleep (pid 4242)."}],)"
       R"("status_item_enabled":true,"progress_visible":false})" "\n"},
      {volumes + "eject --tag 0x201", 0,
       "unmounted /Volumes/Archive\nalert \"Vantrel Berthline Utility\": All volumes ejected. [Confirm]\n"
       "status item enabled, progress window hidden\n"},
      // A mount path the eject cannot reach is passed over and reported done; the volume
      // stays mounted, so the eject did not do what was asked.
      {"--machine $D/unreachable.json eject --tag 0x201", 1, "alert ...: All volumes ejected. [Confirm]\n...",
       "berthctl: still mounted: /Volumes/Archive\n"},
      {volumes + "eject --tag 0x100 --json", 2, "", "...no enabled item of the status menu has the tag..."},
      {volumes + "eject --tag port2", 2, "", "berthctl: --tag needs a number such as 0x101, found \"port2\"\n..."},
      {volumes + "eject", 2, "", "berthctl: ...usage: berthctl ..."},
      // The demo machine's dock and one drive of each product family, found by running the tools.
      {"driver-scan --json", 0,
       R"({"status":"0x00000000","count":3,"examined":["disk3","disk5","disk6","disk7"],"records":[{"slot":0,"valid":1,)"
       R"("dev_kind":1,"is_drive_product":0,"bus_num":134,"dev_num":0,"fun_num":0,"vid":"0x1B21","did":"0x0612",)"
       R"("sub_vid":"0x1AB6","sub_did":"0x1060","spi_flash_id":"0x001330EF","bios_ver":"V1.0.20-R06","disk_cnt":1,)"
       R"(...{"slot":1,...,"sata":[{"model":"Zel Caddy","serial":"ZC2406110000420017","bsd_unit":6,"info_d":36},...)"},
      {"driver-scan", 0, "...3 records...slot 0: dock at 134:0:0...slot 1: Zel Caddy on disk6...slot 2: Zel Forte on disk7..."},
  });
}

TEST_F(Berthctl, MachinesFromIoregDumps) {
  // The Mac Pro with the bridge above its FL1100 made the Thunderbolt device of a dock of type 10.
  dir.write("dock.txt", mac_pro6_with_dock("<785634120a003d00>"));
  expect({
      {"ioreg-to-machine $D/dock.txt --json", 2, "", "berthctl: ioreg-to-machine takes one dump file (and --out FILE)\n..."},
      {"ioreg-to-machine $D/dock.txt --out $D/dock.json", 0, ""},
  });
  // The machine file written from the dump scans as the dump does, dock record included.
  const auto from_dump = run_berthctl({"--ioreg", dir / "dock.txt", "scan", "--json"});
  EXPECT_NE(from_dump.out.find(R"("count":1,)"), std::string::npos) << from_dump.out;
  EXPECT_EQ(run_berthctl({"--machine", dir / "dock.json", "scan", "--json"}).out, from_dump.out);
  EXPECT_EQ(run_berthctl({"ioreg-to-machine", dir / "dock.txt"}).out, read_file(dir / "dock.json"));
}

// The register tools each make only the driver calls they need: a trace shows the calls
// one by one.
TEST_F(Berthctl, RegisterTools) {
  controller("unopenable.json", json::object(), {{"open_status", "0xE00002C5"}});
  controller("spi-stuck.json", json::object(), {{"faults", {{"stuck_command", true}}}});
  const std::string m = "--machine $D/";
  expect({
      // The action may stand after the options.
      {"flash --service 0 --json id", 0, R"({"spi_flash_id":"0x001330EF"})" "\n"},
      {"--trace led --port 0 off", 0, "led off --port 0: status 0x00000000\n",
       "trace sel=0 in= out= status=0x00000000\ntrace sel=10 in= out=0x1b21,0x612 status=0x00000000\n"
       "trace sel=0 in= out= status=0x00000000\ntrace sel=8 in=0xa8,0x220 out= status=0x00000000\n"
       "trace sel=7 in=0xac out=0x0 status=0x00000000\ntrace sel=8 in=0xac,0x1 out= status=0x00000000\n"},
      {"led on --port -1", 1, "led on --port 4294967295: status 0xe0000001\n"},
      {"gpio dump --json", 0, R"({"status":"0x00000000","registers":{"M9182_REG_GPIO_DATA_OUT":"0x00000000",...)",
       "...M9182_REG_GPIO_PORT_ACTIVE_EN=0\n"},
      {"i2c write 0x23 0xff 1", 0, "i2c write: address 0x23 and 2 bytes acknowledged\n"},
      {"i2c write 0x42 1 2 --json", 1,
       R"({"status":"0xE00002BC","address":"0x42","address_acknowledged":false,"bytes":[{"value":"0x01",)"
       R"("acknowledged":false},...],"clock_timeout":false})" "\n",
       "i2c write: address 0x42 was not acknowledged\n...byte 2 (0x02) was not acknowledged\n"},
      {m + "unopenable.json flash dump --json", 1, R"({"status":"0xE00002BC"})" "\n", "spi_flash_dump Err2\n"},
      {m + "spi-stuck.json flash id", 1, "", "...get_VID_DID_9182_spi_flash Err\n"},
  });
  for (const char* args : {"flash program", "flash program --file $D/absent.bin", "flash program --file $D",
                           "flash id --service 1", "flash id --service x", "flash erase", "flash", "led on --port x",
                           "led on --port 4294967296", "led on", "led glow --port 0", "gpio", "i2c write 0x80",
                           "i2c write 0x23 0x100"})
    expect({{args, 2, "", "berthctl: ..."}});
}

// The flash persists between runs: what one command programs, the next one dumps.
TEST_F(Berthctl, FlashProgramThenDump) {
  const auto image = pattern_bytes(kFlashSize, 21);
  auto changed = image;
  changed[0x45678] ^= 0x5A;
  write_bytes(dir / "image.bin", image);
  write_bytes(dir / "changed.bin", changed);
  write_bytes(dir / "a5.bin", std::vector<std::uint8_t>(0x3000, 0xA5));
  controller("m.json");
  controller("stuck.json", {{"stuck_zero", {"0x05000"}}, {"busy_polls", 0}, {"image", "stuck.bin"}});
  expect({
      // Not a terminal: a percent line at every tenth.
      {"--machine $D/m.json flash program --file $D/image.bin", 0, "flash program: $D/image.bin programmed and verified\n",
       "spi_flash_type = 1330EFh\nDoing program_whole_9182_spi_flash, sec_cnt = 00000000, pgs=0\nflash program: 0%\n"
       "...: 10%\n...: 20%\n...: 30%\n...: 40%\n...: 50%\n...: 60%\n...: 70%\n...: 80%\n...: 90%\n"
       "...sec_cnt = 0000007F, pgs=99\nflash program: 100%\n"},
      {"--machine $D/m.json flash dump --out $D/dump.bin --json", 0,
       R"(...{"status":"0x00000000","file":"$D/dump.bin","bytes":524288})" "\n", "...[...]\n"},
      {"--machine $D/m.json flash program --file $D/changed.bin --only-changed --json", 0,
       R"(...{"status":"0x00000000","file":"$D/changed.bin","file_bytes":524288,"sectors_programmed":1,"flash_changed":true,"verified":true})" "\n",
       "...flash program: 100%\n"},
      // The first differing address, here in the erased rest after the file.
      {"--machine $D/stuck.json flash program --file $D/a5.bin", 1, "",
       "...verify failed at 0x05000: the flash holds 0x00, after the file's end erased 0xFF\n...program it again\n"},
  });
  EXPECT_TRUE(read_bytes(dir / "dump.bin") == image);
  EXPECT_TRUE(read_bytes(dir / "flash.bin") == changed);
  std::filesystem::remove("/tmp/dmp_spi_flash_bus134_dev0_fun0");
}

}  // namespace
}  // namespace berth
