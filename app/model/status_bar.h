#pragma once
// The system status bar and its items. A status item shows a title and an image (the
// alternate image while highlighted), has a tool tip and a menu, and can be disabled:
// a disabled item opens no menu.
#include <memory>
#include <string>
#include <vector>

#include "app/model/image.h"
#include "app/model/menu.h"

namespace berth::app {

class Responder;

inline constexpr double kVariableStatusItemLength = -1.0;

class StatusItem {
 public:
  explicit StatusItem(double length) : length_(length) {}

  double length() const { return length_; }
  const std::string& title() const { return title_; }
  void set_title(std::string title);
  bool highlight_mode() const { return highlight_mode_; }
  void set_highlight_mode(bool on);
  const std::shared_ptr<Image>& image() const { return image_; }
  void set_image(std::shared_ptr<Image> image);
  const std::shared_ptr<Image>& alternate_image() const { return alternate_image_; }
  void set_alternate_image(std::shared_ptr<Image> image);
  const std::string& tool_tip() const { return tool_tip_; }
  void set_tool_tip(std::string tool_tip);
  bool is_enabled() const { return enabled_; }
  void set_enabled(bool enabled);
  const std::shared_ptr<Menu>& menu() const { return menu_; }
  void set_menu(std::shared_ptr<Menu> menu);
  Responder* target() const { return target_; }
  void set_target(Responder* target) { target_ = target; }

  // The user clicks the item: an enabled item with a menu opens it (its delegate is
  // asked first). False when nothing opened.
  bool open_menu();

 private:
  void changed();

  double length_;
  std::string title_;
  bool highlight_mode_ = false;
  std::shared_ptr<Image> image_;
  std::shared_ptr<Image> alternate_image_;
  std::string tool_tip_;
  bool enabled_ = true;
  std::shared_ptr<Menu> menu_;
  Responder* target_ = nullptr;
};

class StatusBar {
 public:
  std::shared_ptr<StatusItem> status_item_with_length(double length);
  const std::vector<std::shared_ptr<StatusItem>>& items() const { return items_; }

 private:
  std::vector<std::shared_ptr<StatusItem>> items_;
};

}  // namespace berth::app
