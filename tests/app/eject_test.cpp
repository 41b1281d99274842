// Eject commands end to end: the ejecting state, the 0.5 s delay, what the workspace is
// asked to unmount, the alerts and the way back to idle; and the volumes a disk
// contributes to its port's title and its dock's volume-name list.
#include <gtest/gtest.h>

#include "app/model/bundle.h"
#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;

const std::string kSafe = "Devices ejected safely. (idle)";

json refused(const std::string& bsd, const std::string& name, const std::string& reason = "") {
  return mounted(bsd, name, reason.empty() ? json{{"eject", "refuse"}} : json{{"eject", "refuse"}, {"refusal", reason}});
}

// A type-10 dock: USB port 1 holds disk3 (Travel and EFI), eSATA port 2 holds disk5
// (Archive, refused by the workspace with a reason, and Backups).
std::string standard_dock(json extra = json::object()) {
  return app_machine({DockSpec{.usb = {3, std::nullopt, std::nullopt}, .sata = {std::nullopt, 5}}},
                     json::array({mounted("disk3s1", "EFI"), mounted("disk3s2", "Travel"),
                                  refused("disk5s1", "Archive", "in use by sleep (pid 42)"), mounted("disk5s2", "Backups")}),
                     std::move(extra));
}

std::string usb_dock(std::optional<std::int64_t> port1, json disks, std::optional<std::int64_t> port2 = {},
                     const char* type1 = "") {
  DockSpec dock{.usb = {port1, port2, std::nullopt}};
  dock.usb_type[0] = type1;
  return app_machine({dock}, std::move(disks));
}

// Busy at once, the worker half a second later. The timer holds the item without keeping
// it alive: an item gone before it fires (its menu rebuilt, its pool emptied) ejects
// nothing but still ends the ejecting state.
TEST(EjectRequest, EntersTheEjectingStateAtOnceAndWorksHalfASecondLaterIfItsItemIsStillThere) {
  AppHarness h(standard_dock());
  h.open_menu_lines();
  ASSERT_TRUE(h.headless().choose(0x100));
  EXPECT_EQ(h.state(), "busy");
  EXPECT_EQ(h.delegate()._tf_Msg->string_value(), "Ejecting volumes. Please wait...");
  EXPECT_FALSE(h.headless().open_status_menu()) << "no menu while ejecting";
  h.run_loop().advance(0.49);
  EXPECT_TRUE(h.unmounted().empty());
  h.run_loop().advance(0.01);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Travel"}));
  h.open_menu_lines();
  ASSERT_TRUE(h.headless().choose(0x201));
  h.delegate().fn_remove_all_menuItems();
  h.run_loop().advance(0.5);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Travel"}));
  EXPECT_EQ(h.shown(), (Lines{kSafe})) << "only the first eject's summary";
  EXPECT_EQ(h.state(), "idle");
}

// The texts are the bundle's localized ones, English where it has none.
TEST(EjectRequest, AVolumeAlertComesWhileBusyAndTheLocalizedSummaryOnceIdleIsRestored) {
  AppHarness h(standard_dock(json{{"bundle", {{"strings", {{"Confirm", "Bestätigen"}, {"Device eject failed.", "Gescheitert."}}}}}}));
  h.eject(0x3FF);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Travel", "/Volumes/Backups"})) << "USB first, and a refusal does not stop the run";
  ASSERT_EQ(h.shown(), (Lines{"Failed to eject volume:Archive | in use by sleep (pid 42) (busy)", "Gescheitert. (idle)"}));
  const app::Alert& summary = h.alerts().back();
  EXPECT_EQ(std::tie(summary.title, summary.default_button, summary.alternate_button, summary.other_button),
            std::tie("Vantrel Berthline Utility", "Bestätigen", "", ""));
  EXPECT_EQ(app::Bundle::main_bundle().localized_string("Cancel", "Abbrechen"), "Abbrechen") << "a value before the key";
}

// The worker and the unmount, one case per outcome: each request is an item carrying the
// tag (enabled in the menu or not), sent as the menu sends it, with the clock run on.
TEST(EjectWorker, EjectsWhatTheTagNamesAndReportsAsTheFlagsSay) {
  struct Case {
    const char* name;
    std::string machine;
    std::vector<std::int64_t> tags;
    Lines unmounted;
    Lines alerts;
    void (*tamper)(sDevice&) = nullptr;  // applied to dock 0 after the menu's scan
  };
  const Case cases[] = {
      {"one port: a refused volume has only its own alert, the next is still tried", standard_dock(), {0x201},
       {"/Volumes/Backups"}, {"Failed to eject volume:Archive | in use by sleep (pid 42) (busy)"}},
      {"one port without a disk, and a port of no side, are safe", standard_dock(), {0x200, 0x501}, {}, {kSafe, kSafe}},
      {"one port without a Disk Arbitration session shows nothing at all",
       standard_dock(json{{"disk_arbitration", {{"session", "fail"}}}}), {0x100}, {}, {}},
      {"a DVD drive chosen alone is refused", usb_dock(2, json::array({mounted("disk2", "Film")}), {}, "DVD-ROM"), {0x100},
       {}, {"Do not support DVD-ROM eject. (busy)"}},
      {"a DVD drive is skipped silently in a group",
       usb_dock(2, json::array({mounted("disk2", "Film"), mounted("disk3s1", "Data")}), 3, "DVD-ROM drive"), {0x4FF},
       {"/Volumes/Data"}, {kSafe}},
      {"a group with no disk on any of its ports is safe",
       app_machine({DockSpec{.sata = {std::nullopt, 5}}}, json::array({mounted("disk5s1", "S")})), {0x4FF}, {}, {kSafe}},
      {"a type-6 dock ejects its USB side only, whatever the item",
       app_machine({DockSpec{.type = 6, .usb = {std::nullopt, 2, std::nullopt}}},
                   json::array({mounted("disk2s1", "Stick"), mounted("disk0s2", "Macintosh HD")})),
       {0x8FF, 0x3FF}, {"/Volumes/Stick"}, {kSafe, kSafe},
       [](sDevice& dev) { dev.sata_disk[0].bsd_unit = 0; }},  // an eSATA unit from nowhere: never looked at
      {"EFI is never ejected, efi is", usb_dock(4, json::array({mounted("disk4s1", "EFI"), refused("disk4s2", "efi")})),
       {0x100}, {}, {"Failed to eject volume:efi (busy)"}},
      {"unmounted and unreachable volumes are skipped as success",
       usb_dock(4, json::array({unmounted("disk4s1", "Sleep"), mounted("disk4s2", "Gone", {{"reachable", false}})})),
       {0x100}, {}, {kSafe}},
      {"ejecting the whole-disk volume takes its slices along",
       usb_dock(4, json::array({mounted("disk4", "Whole"), mounted("disk4s3", "Three")})), {0x100}, {"/Volumes/Whole"},
       {kSafe}},
      {"a volume name is shown literally", usb_dock(4, json::array({refused("disk4s1", "100%s %n %@ done")})), {0x100},
       {}, {"Failed to eject volume:100%s %n %@ done (busy)"}},
      {"a unit above 255 never touches the disk it would be cut to",
       usb_dock(259, json::array({mounted("disk3s1", "Bystander"), mounted("disk259s1", "Far")})), {0x3FF, 0x4FF, 0x100},
       {}, {kSafe, kSafe, kSafe}},
  };
  for (const Case& c : cases) {
    AppHarness h(c.machine);
    h.open_menu_lines();
    if (c.tamper) c.tamper(vtr_device_list[0].dev);
    for (const std::int64_t tag : c.tags) {
      h.request(tag);
      EXPECT_EQ(h.state(), "idle") << c.name;
    }
    EXPECT_EQ(h.unmounted(), c.unmounted) << c.name;
    EXPECT_EQ(h.shown(), c.alerts) << c.name;
  }
}

// The port items of dock 0 as "NUMBER[: VOLUME][ off]", USB ports, then " / " and eSATA ports.
std::string port_items(AppHarness& h) {
  std::string ports;
  for (const auto& item : h.menu().items()) {
    const std::int64_t tag = item->tag();
    if (item->is_separator() || tag >= 0x10000 || (tag & 0xFF) == 0xFF) continue;
    if (!ports.empty()) ports += tag == 0x200 ? " / " : ", ";
    ports += item->title().substr(item->title().find("port ") + 5) + (item->is_enabled() ? "" : " off");
  }
  return ports;
}

TEST(VolumeNames, CountedVolumesFillTheListAndNameTheirPort) {
  json no_description = mounted("disk4s5", "Hidden");
  no_description["description"] = false;
  const DockSpec disk4{.usb = {4, std::nullopt, 9}};  // disk9 is unknown to Disk Arbitration
  json forty = json::array();  // 20 volumes on each of two disks: more than the list holds
  Lines first_32;
  for (int k = 0; k < 40; ++k) {
    const std::string slice = std::to_string(k % 20 + 1), name = (k < 20 ? "A" : "B") + slice;
    forty.push_back(mounted((k < 20 ? "disk3s" : "disk5s") + slice, name));
    if (k < 32) first_32.push_back(name);
  }
  struct Case {
    const char* name;
    DockSpec dock;
    json disks;
    Lines names;
    std::string ports;
    json extra = json::object();
  };
  const Case cases[] = {
      {"protected names are skipped exactly as written", disk4,
       json::array({mounted("disk4s1", "EFI"), mounted("disk4s2", "Data"), mounted("disk4s3", "bootcamp"),
                    mounted("disk4s4", "Recovery HD"), mounted("disk4s5", "Boot OS X"), mounted("disk4s6", "BOOTCAMP")}),
       {"Data", "bootcamp"}, "1: Data, 2 off, 3 off / 1 off, 2 off"},
      {"only mounted volumes with readable attributes count", disk4,
       json::array({unmounted("disk4s1", "Sleeping"), mounted("disk4s2", "Awake"), mounted("disk4s3", "No", {{"attributes", false}}),
                    json{{"bsd", "disk4s4"}, {"volume", {{"path", "/Volumes/X"}}}}, no_description}),
       {"Awake"}, "1: Awake, 2 off, 3 off / 1 off, 2 off"},
      {"a whole-disk volume counts, slices keep their order, the first name is shown", disk4,
       json::array({mounted("disk4s5", "Five"), mounted("disk4", "Whole"), mounted("disk4s2", "Two")}),
       {"Whole", "Two", "Five"}, "1: Whole, 2 off, 3 off / 1 off, 2 off"},
      {"slice 32 is never looked at", disk4, json::array({mounted("disk4s31", "Last"), mounted("disk4s32", "Beyond")}),
       {"Last"}, "1: Last, 2 off, 3 off / 1 off, 2 off"},
      {"ports share the list in port order, USB then eSATA", DockSpec{.usb = {std::nullopt, 3, 2}, .sata = {5, std::nullopt}},
       json::array({mounted("disk2s1", "C"), mounted("disk3s1", "B1"), mounted("disk3s2", "B2"), mounted("disk5s1", "S")}),
       {"B1", "B2", "C", "S"}, "1 off, 2: B1, 3: C / 1: S, 2 off"},
      // Unit 259 cut to a byte is 3: the disk of another port, whose volume must not appear twice.
      {"a unit above 255 is a port that cannot be addressed", DockSpec{.usb = {259, 3, std::nullopt}},
       json::array({mounted("disk259s1", "Far"), mounted("disk3s1", "Near")}), {"Near"}, "1 off, 2: Near, 3 off / 1 off, 2 off"},
      {"no Disk Arbitration session counts nothing", disk4, json::array({mounted("disk4s2", "Data")}), {},
       "1 off, 2 off, 3 off / 1 off, 2 off", json{{"disk_arbitration", {{"session", "fail"}}}}},
      {"the list stops at its 32 entries", DockSpec{.usb = {3, 5, std::nullopt}}, forty, first_32,
       "1: A1, 2: B1, 3 off / 1 off, 2 off"},
  };
  for (const Case& c : cases) {
    AppHarness h(app_machine({c.dock}, c.disks, c.extra));
    h.open_menu_lines();
    const sDevice& dev = vtr_device_list[0].dev;
    EXPECT_EQ(Lines(dev.vol_names, dev.vol_names + dev.vol_name_cnt), c.names) << c.name;
    EXPECT_EQ(port_items(h), c.ports) << c.name;
    EXPECT_EQ(std::vector<int>(dev.vol_pad, dev.vol_pad + 3), std::vector<int>(3, 0)) << c.name << ": past the list";
  }
}

// Only the port with a disk is asked about (unit 255 asks nothing), and for all 32 of
// its names (no early stop at the first missing slice).
TEST(VolumeNames, APortWithADiskCostsThirtyTwoLookupsFreeSpaceIsInGigabytesAndNothingIsHeld) {
  AppHarness h(app_machine({DockSpec{.usb = {4, std::nullopt, std::nullopt}}},
                           json::array({mounted("disk4s1", "EFI"), mounted("disk4s2", "Data", {{"free_bytes", 2'500'000'000}}),
                                        unmounted("disk4s3", "U")})));
  const auto& counts = h.sim().machine().disks().disk_arbitration().counts();
  const std::size_t lookups = counts.lookups;
  h.open_menu_lines();
  EXPECT_EQ(counts.lookups, lookups + 32);
  EXPECT_DOUBLE_EQ(vtr_device_list[0].dev.vol_free_gb[0], 2.5);
  h.eject(0x3FF);
  EXPECT_GT(counts.descriptions_taken, 0u);
  EXPECT_EQ(std::pair(counts.held(), counts.bad_releases), std::pair(std::size_t{0}, std::size_t{0}));
}

}  // namespace
}  // namespace berth
