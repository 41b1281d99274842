#include "app/status_menu_report.h"

#include <cstdio>
#include <variant>

namespace berth::app {
namespace {

using json = nlohmann::ordered_json;

std::string tag_text(std::int64_t tag) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<std::uint32_t>(tag));
  return text;
}

json attributed_json(const AttributedString& title) {
  json runs = json::array();
  for (const AttributedRun& run : title.runs()) {
    if (const auto* image = std::get_if<ImageRun>(&run)) {
      runs.push_back({{"image", image->image ? image->image->name() : std::string()}});
      continue;
    }
    const auto& text = std::get<TextRun>(run);
    json entry{{"text", text.text}};
    if (text.font_size) entry["size"] = *text.font_size;
    if (text.baseline_offset) entry["baseline"] = *text.baseline_offset;
    runs.push_back(std::move(entry));
  }
  return runs;
}

json item_json(const MenuItem& item) {
  if (item.is_separator()) return {{"separator", true}};
  json entry{{"separator", false}, {"title", item.title()}, {"tag", tag_text(item.tag())}, {"enabled", item.is_enabled()}};
  if (!item.action().empty()) entry["action"] = item.action();
  if (!item.tool_tip().empty()) entry["tooltip"] = item.tool_tip();
  if (item.attributed_title()) entry["attributed"] = attributed_json(*item.attributed_title());
  return entry;
}

std::string attributed_text(const AttributedString& title) {
  std::string text;
  for (const AttributedRun& run : title.runs()) {
    if (const auto* image = std::get_if<ImageRun>(&run)) text += "[" + (image->image ? image->image->name() : "") + "]";
    else text += std::get<TextRun>(run).text;
  }
  return text;
}

std::string item_line(const MenuItem& item) {
  if (item.is_separator()) return "  ----------\n";
  const std::string title = item.attributed_title() ? attributed_text(*item.attributed_title()) : item.title();
  std::string line = std::string("  ") + (item.is_enabled() ? "[on] " : "[off]") + " " + tag_text(item.tag()) + "  " + title;
  if (!item.tool_tip().empty()) line += "  (" + item.tool_tip() + ")";
  return line + "\n";
}

}  // namespace

std::string status_menu_text(const Menu& menu) {
  std::string text = "status menu:\n";
  for (const auto& item : menu.items()) text += item_line(*item);
  return text;
}

nlohmann::ordered_json status_menu_json(const Menu& menu) {
  json list = json::array();
  for (const auto& item : menu.items()) list.push_back(item_json(*item));
  return {{"items", list}};
}

}  // namespace berth::app
