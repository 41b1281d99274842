#include "app/model/status_bar.h"

#include "app/model/application.h"

namespace berth::app {

void StatusItem::changed() {
  notify_observers([this](ModelObserver& observer) { observer.status_item_changed(*this); });
}

void StatusItem::set_title(std::string title) {
  title_ = std::move(title);
  changed();
}

void StatusItem::set_highlight_mode(bool on) {
  highlight_mode_ = on;
  changed();
}

void StatusItem::set_image(std::shared_ptr<Image> image) {
  image_ = std::move(image);
  changed();
}

void StatusItem::set_alternate_image(std::shared_ptr<Image> image) {
  alternate_image_ = std::move(image);
  changed();
}

void StatusItem::set_tool_tip(std::string tool_tip) {
  tool_tip_ = std::move(tool_tip);
  changed();
}

void StatusItem::set_enabled(bool enabled) {
  enabled_ = enabled;
  changed();
}

void StatusItem::set_menu(std::shared_ptr<Menu> menu) {
  menu_ = std::move(menu);
  changed();
}

bool StatusItem::open_menu() {
  if (!enabled_ || !menu_) return false;
  // The delegate may replace the item's menu while answering; open the one asked for.
  const std::shared_ptr<Menu> menu = menu_;
  menu->open();
  return true;
}

std::shared_ptr<StatusItem> StatusBar::status_item_with_length(double length) {
  items_.push_back(std::make_shared<StatusItem>(length));
  return items_.back();
}

}  // namespace berth::app
