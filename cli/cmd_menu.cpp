// berthctl menu: starts the application headless, opens its status menu (which runs the
// refresh) and prints every item as the menu holds it.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/headless_app.h"
#include "cli/commands.h"
#include "cli/regctl_session.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

using json = nlohmann::ordered_json;

json attributed_json(const app::AttributedString& title) {
  json runs = json::array();
  for (const app::AttributedRun& run : title.runs()) {
    if (const auto* image = std::get_if<app::ImageRun>(&run)) {
      runs.push_back({{"image", image->image ? image->image->name() : std::string()}});
      continue;
    }
    const auto& text = std::get<app::TextRun>(run);
    json entry{{"text", text.text}};
    if (text.font_size) entry["size"] = *text.font_size;
    if (text.baseline_offset) entry["baseline"] = *text.baseline_offset;
    runs.push_back(std::move(entry));
  }
  return runs;
}

json item_json(const app::MenuItem& item) {
  if (item.is_separator()) return {{"separator", true}};
  json entry{{"separator", false},
             {"title", item.title()},
             {"tag", hex32(static_cast<std::uint32_t>(item.tag()))},
             {"enabled", item.is_enabled()}};
  if (!item.action().empty()) entry["action"] = item.action();
  if (!item.tool_tip().empty()) entry["tooltip"] = item.tool_tip();
  if (item.attributed_title()) entry["attributed"] = attributed_json(*item.attributed_title());
  return entry;
}

std::string attributed_text(const app::AttributedString& title) {
  std::string text;
  for (const app::AttributedRun& run : title.runs()) {
    if (const auto* image = std::get_if<app::ImageRun>(&run)) text += "[" + (image->image ? image->image->name() : "") + "]";
    else text += std::get<app::TextRun>(run).text;
  }
  return text;
}

std::string item_line(const app::MenuItem& item) {
  if (item.is_separator()) return "  ----------\n";
  const std::string title = item.attributed_title() ? attributed_text(*item.attributed_title()) : item.title();
  std::string line = format("  %s %s  %s", item.is_enabled() ? "[on] " : "[off]",
                            hex32(static_cast<std::uint32_t>(item.tag())).c_str(), title.c_str());
  if (!item.tool_tip().empty()) line += "  (" + item.tool_tip() + ")";
  return line + "\n";
}

// Resident memory of this process, in kB (0 where /proc does not say).
long resident_kb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
  return 0;
}

// --repeat N: opens the menu N times in all, for measurements, and says on standard
// error how resident memory went from the tenth of them to the last.
void open_repeatedly(app::HeadlessApp& headless, std::uint32_t times) {
  const std::uint32_t baseline_at = std::max<std::uint32_t>(times / 10, 1);
  long baseline = resident_kb();
  for (std::uint32_t opening = 1; opening <= times; ++opening) {
    if (opening > 1) headless.status_menu().close();
    headless.open_status_menu();
    if (opening == baseline_at) baseline = resident_kb();
  }
  write_err(format("menu: %u openings, resident %ld kB after %u, %ld kB after %u\n", times, baseline, baseline_at,
                   resident_kb(), times));
}

}  // namespace

std::optional<std::string> start_headless_app(CliContext& context, std::unique_ptr<app::HeadlessApp>& started) {
  context.machine->resources().set_default_resource_directory(BERTH_APP_RESOURCES_DIR);
  started = std::make_unique<app::HeadlessApp>();
  if (!started->launched()) return started->error();
  return std::nullopt;
}

int cmd_menu(CliContext& context, std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  const auto repeat = take_option(args, "--repeat");
  expect_no_more(args);
  const std::uint32_t times = repeat ? parse_number(*repeat, 1000000, "--repeat") : 1;
  if (times == 0) throw UsageError{"--repeat needs at least one opening"};
  std::unique_ptr<app::HeadlessApp> headless;
  if (const auto error = start_headless_app(context, headless)) {
    write_err("berthctl: the application did not start: " + *error + "\n");
    return kExitFailed;
  }
  if (repeat) open_repeatedly(*headless, times);
  else headless->open_status_menu();
  const auto& items = headless->status_menu().items();
  if (!as_json) {
    std::string text = "status menu:\n";
    for (const auto& item : items) text += item_line(*item);
    write_out(text);
    return kExitOk;
  }
  json list = json::array();
  for (const auto& item : items) list.push_back(item_json(*item));
  print_json({{"items", list}});
  return kExitOk;
}

}  // namespace berth::cli
