#pragma once
// Windows of the interface file and the two controls the utility uses in them: a
// one-line text field and a progress indicator that is only started and stopped.
#include <memory>
#include <string>
#include <vector>

#include "app/model/geometry.h"
#include "app/model/responder.h"

namespace berth::app {

class TextField {
 public:
  TextField(Rect frame, double font_size) : frame_(frame), font_size_(font_size) {}
  Rect frame() const { return frame_; }
  double font_size() const { return font_size_; }
  const std::string& string_value() const { return string_value_; }
  void set_string_value(std::string text);

 private:
  Rect frame_;
  double font_size_;
  std::string string_value_;
};

class ProgressIndicator {
 public:
  ProgressIndicator(Rect frame, bool indeterminate) : frame_(frame), indeterminate_(indeterminate) {}
  Rect frame() const { return frame_; }
  bool is_indeterminate() const { return indeterminate_; }
  bool is_animating() const { return animating_; }
  void start_animation();
  void stop_animation();

 private:
  Rect frame_;
  bool indeterminate_;
  bool animating_ = false;
};

// Windows are shared (the interface file's objects and outlets hold them), so that a
// front end told of a change can keep the window it presents.
class Window : public std::enable_shared_from_this<Window> {
 public:
  Window(std::string title, Rect frame) : title_(std::move(title)), frame_(frame) {}
  const std::string& title() const { return title_; }
  Rect frame() const { return frame_; }
  bool is_visible() const { return visible_; }
  void set_is_visible(bool visible);
  // The controls in the window, in the order of the interface file.
  const std::vector<InterfaceElement>& content() const { return content_; }
  void add_content(InterfaceElement element) { content_.push_back(std::move(element)); }

 private:
  std::string title_;
  Rect frame_;
  bool visible_ = false;
  std::vector<InterfaceElement> content_;
};

}  // namespace berth::app
