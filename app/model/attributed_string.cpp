#include "app/model/attributed_string.h"

namespace berth::app {

AttributedString::AttributedString(std::string text) {
  if (!text.empty()) runs_.emplace_back(TextRun{std::move(text), std::nullopt, std::nullopt});
}

AttributedString AttributedString::with_attachment(std::shared_ptr<Image> image) {
  AttributedString result;
  result.runs_.emplace_back(ImageRun{std::move(image)});
  return result;
}

void AttributedString::add_font_attribute(double points) {
  for (AttributedRun& run : runs_)
    if (auto* text = std::get_if<TextRun>(&run)) text->font_size = points;
}

void AttributedString::add_baseline_offset_attribute(double offset) {
  for (AttributedRun& run : runs_)
    if (auto* text = std::get_if<TextRun>(&run)) text->baseline_offset = offset;
}

void AttributedString::append_run(const AttributedRun& run) {
  const auto* text = std::get_if<TextRun>(&run);
  auto* last = runs_.empty() ? nullptr : std::get_if<TextRun>(&runs_.back());
  if (text && last && last->font_size == text->font_size && last->baseline_offset == text->baseline_offset) {
    last->text += text->text;
    return;
  }
  runs_.push_back(run);
}

void AttributedString::append(const AttributedString& other) {
  // Appending a string to itself must read a copy of its runs.
  const std::vector<AttributedRun> runs = other.runs_;
  for (const AttributedRun& run : runs) append_run(run);
}

}  // namespace berth::app
