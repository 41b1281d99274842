#include "app/model/menu.h"

#include <algorithm>

#include "app/model/application.h"
#include "app/model/responder.h"

namespace berth::app {

std::shared_ptr<MenuItem> MenuItem::create(std::string title, std::string action, std::string key_equivalent) {
  return std::make_shared<MenuItem>(std::move(title), std::move(action), std::move(key_equivalent), false);
}

std::shared_ptr<MenuItem> MenuItem::separator_item() { return std::make_shared<MenuItem>("", "", "", true); }

MenuItem::MenuItem(std::string title, std::string action, std::string key_equivalent, bool separator)
    : title_(std::move(title)), action_(std::move(action)), key_equivalent_(std::move(key_equivalent)), separator_(separator) {}

MenuItem::~MenuItem() = default;

void MenuItem::changed() {
  notify_observers([this](ModelObserver& observer) { observer.item_changed(*this); });
}

void MenuItem::set_title(std::string title) {
  title_ = std::move(title);
  changed();
}

void MenuItem::set_attributed_title(AttributedString title) {
  attributed_title_ = std::move(title);
  changed();
}

void MenuItem::set_tag(std::int64_t tag) {
  tag_ = tag;
  changed();
}

void MenuItem::set_action(std::string action) {
  action_ = std::move(action);
  changed();
}

void MenuItem::set_tool_tip(std::string tool_tip) {
  tool_tip_ = std::move(tool_tip);
  changed();
}

Menu::~Menu() {
  for (const auto& item : items_) item->menu_ = nullptr;
}

void Menu::changed() {
  notify_observers([this](ModelObserver& observer) { observer.menu_changed(*this); });
}

void Menu::add_item(std::shared_ptr<MenuItem> item) {
  if (!item) return;
  item->menu_ = this;
  items_.push_back(std::move(item));
  changed();
}

void Menu::remove_all_items() {
  highlighted_ = nullptr;
  for (const auto& item : items_) item->menu_ = nullptr;
  items_.clear();
  changed();
}

std::shared_ptr<MenuItem> Menu::item_with_tag(std::int64_t tag) const {
  const auto it = std::find_if(items_.begin(), items_.end(),
                               [tag](const auto& item) { return !item->is_separator() && item->tag() == tag; });
  return it == items_.end() ? nullptr : *it;
}

void Menu::update() {
  ++update_count_;
  changed();
}

void Menu::open() {
  if (delegate_) delegate_->menuWillOpen(*this);
  open_ = true;
  highlighted_ = nullptr;
}

void Menu::highlight(MenuItem* item) {
  if (item && item->menu() != this) return;
  highlighted_ = item;
  if (delegate_) delegate_->menu_willHighlightItem(*this, item);
}

bool Menu::choose(MenuItem& item) {
  if (item.menu() != this || !item.is_enabled()) return false;
  // Keep the item alive while its action runs, whatever the action does to the menu.
  const std::shared_ptr<MenuItem> chosen = item.shared_from_this();
  close();
  Application* application = Application::current();
  return application && application->send_action(chosen->action(), chosen.get());
}

void Menu::close() {
  if (open_ && highlighted_ && delegate_) delegate_->menu_willHighlightItem(*this, nullptr);
  highlighted_ = nullptr;
  open_ = false;
}

}  // namespace berth::app
