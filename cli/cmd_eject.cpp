// berthctl eject --tag TAG: opens the status menu, chooses the item with that tag and
// runs the eject to its end on the virtual clock, every alert answered with its button.
// Exits 0 only when every volume of the chosen target was ejected; 1 when one is still
// mounted afterwards (refused by the workspace, a DVD-ROM medium the eject leaves alone,
// a mount path it could not reach: each named on standard error) or the eject did not end.
#include <charconv>

#include "app/eject_target.h"
#include "app/headless_app.h"
#include "cli/commands.h"
#include "cli/recording_workspace.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

using json = nlohmann::ordered_json;

// Long enough for any eject: the run loop's clock is virtual, so this costs nothing.
constexpr double kEjectTimeLimit = 60.0;

std::int64_t parse_tag(std::string_view text) {
  std::string_view digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  std::uint32_t tag = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), tag, base);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
    throw UsageError{"--tag needs a number such as 0x101, found \"" + std::string(text) + "\""};
  return tag;
}

json alerts_json(const std::vector<app::Alert>& alerts) {
  json list = json::array();
  for (const app::Alert& alert : alerts) {
    json entry{{"title", alert.title}, {"message", alert.message}, {"button", alert.default_button}};
    if (!alert.informative.empty()) entry["informative"] = alert.informative;
    list.push_back(std::move(entry));
  }
  return list;
}

void print_result(app::HeadlessApp& headless, const std::vector<std::string>& unmounted, bool as_json) {
  app::AppDelegate& delegate = headless.delegate();
  const bool enabled = delegate.statusItem->is_enabled();
  const bool visible = delegate._window_Msg && delegate._window_Msg->is_visible();
  if (as_json) {
    print_json({{"unmounted", unmounted},
                {"alerts", alerts_json(headless.application().alerts())},
                {"status_item_enabled", enabled},
                {"progress_visible", visible}});
    return;
  }
  std::string text;
  for (const std::string& path : unmounted) text += "unmounted " + path + "\n";
  for (const app::Alert& alert : headless.application().alerts()) {
    text += "alert \"" + alert.title + "\": " + alert.message + " [" + alert.default_button + "]\n";
    if (!alert.informative.empty()) text += "  " + alert.informative + "\n";
  }
  text += format("status item %s, progress window %s\n", enabled ? "enabled" : "disabled", visible ? "shown" : "hidden");
  write_out(text);
}

}  // namespace

int cmd_eject(CliContext& context, std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  const auto tag_text = take_option(args, "--tag");
  expect_no_more(args);
  if (!tag_text) throw UsageError{"eject needs --tag TAG"};
  const std::int64_t tag = parse_tag(*tag_text);
  RecordingWorkspace workspace(*services().workspace);
  Services recorded = services();
  recorded.workspace = &workspace;
  ScopedServices installed(recorded);
  std::unique_ptr<app::HeadlessApp> headless;
  if (const auto error = start_headless_app(context, headless)) {
    write_err("berthctl: the application did not start: " + *error + "\n");
    return kExitFailed;
  }
  headless->open_status_menu();
  if (!headless->choose(tag)) {
    write_err("berthctl: no enabled item of the status menu has the tag " + hex32(static_cast<std::uint32_t>(tag)) + "\n");
    return kExitUsage;
  }
  const bool ended = headless->run_until_idle(kEjectTimeLimit);
  print_result(*headless, workspace.unmounted(), as_json);
  const auto left = app::mounted_volumes_of_target(static_cast<std::uint32_t>(tag));
  for (const std::string& path : left) write_err("berthctl: still mounted: " + printable(path) + "\n");
  return ended && workspace.refused() == 0 && left.empty() ? kExitOk : kExitFailed;
}

}  // namespace berth::cli
