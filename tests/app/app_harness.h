#pragma once
// The application on a simulated machine for one test: docks described compactly, a
// resource directory of tiny PNGs written by the test (plus the application's own
// interface file and script), the headless application launched on it, and each alert
// as it was shown.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/headless_app.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace berth::testing {

using nlohmann::json;
using Lines = std::vector<std::string>;

struct DockSpec {
  std::uint32_t type = 10;
  std::uint32_t guid_low = 0x12345678;
  std::array<std::optional<std::int64_t>, 3> usb{};   // BSD unit of the disk on USB port 1..3
  std::array<std::optional<std::int64_t>, 2> sata{};  // BSD unit of the disk on eSATA port 1..2
  std::array<std::string, 3> usb_type{};              // the USB medium's "Type", e.g. "DVD-ROM"
};

// A mounted volume of disk `bsd`: {"bsd": ..., "volume": {"name", "path", "free_bytes"}},
// with any further settings of the simulated workspace merged into "volume".
json mounted(const std::string& bsd, const std::string& name, json more = json::object());
json unmounted(const std::string& bsd, const std::string& name);
// A whole machine file: registry of the docks, the disks, and any further sections.
std::string app_machine(const std::vector<DockSpec>& docks, json disks = json::array(), json extra = json::object());

// A directory of resources: every image the application loads, as a PNG header of a
// chosen pixel size, and the application's interface file and login script.
class ResourceDir : public TempDir {
 public:
  ResourceDir();
  void write_png(const std::string& file, std::uint32_t width, std::uint32_t height);
  void remove(const std::string& file) { std::filesystem::remove(path() / file); }
};

// Alerts are answered with their default button, as the user would.
class AppHarness final : app::AlertResponder {
 public:
  explicit AppHarness(const std::string& machine_json, const std::function<void(ResourceDir&)>& adjust = {});

  SimFixture& sim() { return sim_; }
  const std::filesystem::path& resource_path() const { return resources_.path(); }
  app::HeadlessApp& headless() { return *headless_; }
  app::AppDelegate& delegate() { return headless_->delegate(); }
  app::Menu& menu() { return headless_->status_menu(); }
  sim::SimRunLoop& run_loop() { return sim_.machine().run_loop(); }
  const std::vector<app::Alert>& alerts() { return headless_->application().alerts(); }
  // Each alert with the state() in which it was shown: "MESSAGE[ | INFORMATIVE] (busy)".
  const Lines& shown() const { return shown_; }
  Lines unmounted() { return sim_.machine().disks().workspace().unmounted(); }
  std::size_t scans() { return sim_.machine().registry().counts().matchings; }
  // "busy" while ejecting (status item disabled, progress window up, indicator running),
  // "idle" when none of the three holds; any other mix spelled out.
  std::string state();

  // Opens the status menu and returns one line per item: its tag in hex with "+" when it
  // is enabled and "-" when not, its title (or attributed runs) and tool tip; "|" for a
  // separator. The shape is the lines' first words, with "Q+" for Quit.
  Lines open_menu_lines();
  std::string open_menu_shape();
  // Sends the eject action from a new item carrying the tag, as the menu sends it, and
  // runs the clock on by the request's delay.
  void request(std::int64_t tag);
  // Opens the menu, chooses the item and runs the eject to its end.
  void eject(std::int64_t tag);

 private:
  int respond(const app::Alert& alert) override;

  ResourceDir resources_;
  SimFixture sim_;
  Lines shown_;
  std::unique_ptr<app::HeadlessApp> headless_;
};

// A run of an attributed title as text: "[image]" or "'text'@size/baseline".
std::string runs_text(const app::AttributedString& title);

}  // namespace berth::testing
