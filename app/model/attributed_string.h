#pragma once
// Text with attributes, as a sequence of runs: image runs (a text attachment whose cell
// shows an image) and text runs with an optional font size and baseline offset.
// Appending coalesces neighbouring text runs whose attributes are equal, as the
// toolkit does.
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/model/image.h"

namespace berth::app {

struct ImageRun {
  std::shared_ptr<Image> image;
  bool operator==(const ImageRun&) const = default;
};

struct TextRun {
  std::string text;
  std::optional<double> font_size;        // points of the system font; none: no font attribute
  std::optional<double> baseline_offset;  // none: no baseline attribute
  bool operator==(const TextRun&) const = default;
};

using AttributedRun = std::variant<ImageRun, TextRun>;

class AttributedString {
 public:
  AttributedString() = default;
  explicit AttributedString(std::string text);
  // One attachment character showing the image; no attribute is set on it.
  static AttributedString with_attachment(std::shared_ptr<Image> image);

  const std::vector<AttributedRun>& runs() const { return runs_; }

  // The system font of `points`, over the whole length (text runs only).
  void add_font_attribute(double points);
  // The baseline offset, over the whole length (text runs only).
  void add_baseline_offset_attribute(double offset);
  void append(const AttributedString& other);

  bool operator==(const AttributedString&) const = default;

 private:
  void append_run(const AttributedRun& run);

  std::vector<AttributedRun> runs_;
};

}  // namespace berth::app
