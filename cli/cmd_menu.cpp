// berthctl menu: starts the application headless, opens its status menu (which runs the
// refresh) and prints every item as the menu holds it.
#include "app/headless_app.h"
#include "cli/commands.h"
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

}  // namespace

std::optional<std::string> start_headless_app(CliContext& context, std::unique_ptr<app::HeadlessApp>& started) {
  context.machine->resources().set_default_resource_directory(BERTH_APP_RESOURCES_DIR);
  started = std::make_unique<app::HeadlessApp>();
  if (!started->launched()) return started->error();
  return std::nullopt;
}

int cmd_menu(CliContext& context, std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  expect_no_more(args);
  std::unique_ptr<app::HeadlessApp> headless;
  if (const auto error = start_headless_app(context, headless)) {
    write_err("berthctl: the application did not start: " + *error + "\n");
    return kExitFailed;
  }
  headless->open_status_menu();
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
