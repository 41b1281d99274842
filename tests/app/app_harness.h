#pragma once
// The application on a simulated machine for one test: docks described compactly, a
// resource directory of tiny PNGs written by the test (plus the application's own
// interface file and script), the headless application launched on it, and a record of
// what the model told its observers, in order.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/headless_app.h"
#include "app/model/observer.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace berth::testing {

using nlohmann::json;

struct DockSpec {
  std::uint32_t type = 10;
  std::uint32_t guid_low = 0x12345678;
  std::array<std::optional<std::int64_t>, 3> usb{};   // BSD unit of the disk on USB port 1..3
  std::array<std::optional<std::int64_t>, 2> sata{};  // BSD unit of the disk on eSATA port 1..2
  std::array<std::string, 3> usb_type{};              // the USB medium's "Type", e.g. "DVD-ROM"
};

// The registry roots for these docks, each behind its own Thunderbolt device.
json dock_roots(const std::vector<DockSpec>& docks);
// A mounted volume of disk `bsd`: {"bsd": ..., "volume": {"name", "path", "free_bytes"}}.
json mounted(const std::string& bsd, const std::string& name, std::uint64_t free_bytes = 1'000'000'000);
json unmounted(const std::string& bsd, const std::string& name);
// A whole machine file: registry of the docks, the disks, and any further sections.
std::string app_machine(const std::vector<DockSpec>& docks, json disks, json extra = json::object());

// A directory of resources: every image the application loads, as a PNG header of a
// chosen pixel size, and the application's interface file and login script.
class ResourceDir : public TempDir {
 public:
  ResourceDir();
  void write_png(const std::string& file, std::uint32_t width, std::uint32_t height);
  void remove(const std::string& file) { std::filesystem::remove(path() / file); }
};

// Every change the model reports, as one line each.
class EventLog final : public app::ModelObserver {
 public:
  void status_item_changed(const app::StatusItem& item) override;
  void window_changed(const app::Window& window) override;
  void text_field_changed(const app::TextField& field) override;
  void indicator_changed(const app::ProgressIndicator& indicator) override;
  void alert_shown(const app::Alert& alert) override;
  void application_terminated() override { lines.push_back("terminated"); }
  std::vector<std::string> lines;
};

class AppHarness {
 public:
  explicit AppHarness(const std::string& machine_json, const std::function<void(ResourceDir&)>& adjust = {});
  ~AppHarness();

  SimFixture& sim() { return sim_; }
  const std::filesystem::path& resource_path() const { return resources_.path(); }
  app::HeadlessApp& headless() { return *headless_; }
  app::AppDelegate& delegate() { return headless_->delegate(); }
  app::Menu& menu() { return headless_->status_menu(); }
  sim::SimRunLoop& run_loop() { return sim_.machine().run_loop(); }
  EventLog& events() { return events_; }
  const std::vector<app::Alert>& alerts() { return headless_->application().alerts(); }
  std::vector<std::string> unmounted() { return sim_.machine().disks().workspace().unmounted(); }

  // Opens the status menu and returns one line per item: tag, enabled, title (or
  // attributed runs) and tool tip; separators as "---".
  std::vector<std::string> open_menu_lines();
  // Opens the menu, chooses the item and runs the eject to its end.
  void eject(std::int64_t tag);

 private:
  ResourceDir resources_;
  SimFixture sim_;
  EventLog events_;
  std::unique_ptr<app::HeadlessApp> headless_;
};

// A run of an attributed title as text: "[image]" or "text@size/baseline".
std::string runs_text(const app::AttributedString& title);

}  // namespace berth::testing
