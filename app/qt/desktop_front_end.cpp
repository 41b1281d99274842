#include "app/qt/desktop_front_end.h"

#include <algorithm>

#include "platform/services.h"

namespace berth::qt {
namespace {

// The shared model object that `object` is, among `owners`; null when none is.
template <typename T, typename Range>
std::shared_ptr<T> shared_of(const T& object, const Range& owners) {
  const auto it = std::find_if(owners.begin(), owners.end(), [&](const auto& owner) { return owner.get() == &object; });
  return it == owners.end() ? nullptr : *it;
}

}  // namespace

DesktopFrontEnd::DesktopFrontEnd(app::Application& application, std::string machine_note)
    : application_(application), machine_note_(std::move(machine_note)) {
  application_.add_observer(this);
  application_.set_alert_responder(&alerts_);
}

DesktopFrontEnd::~DesktopFrontEnd() {
  application_.set_alert_responder(nullptr);
  application_.remove_observer(this);
}

StatusItemView* DesktopFrontEnd::view_of(const app::StatusItem& item) const {
  const auto it = status_items_.find(&item);
  return it == status_items_.end() ? nullptr : it->second.get();
}

WindowView* DesktopFrontEnd::view_of(const app::Window& window) const {
  const auto it = windows_.find(&window);
  return it == windows_.end() ? nullptr : it->second.get();
}

StatusItemView* DesktopFrontEnd::view_of_menu(const app::Menu* menu) const {
  for (const auto& [item, view] : status_items_)
    if (menu && item->menu().get() == menu) return view.get();
  return nullptr;
}

void DesktopFrontEnd::status_item_changed(const app::StatusItem& item) {
  if (StatusItemView* view = view_of(item)) {
    view->item_changed();
    return;
  }
  // A new item is shown once the model has given it a menu: until then it is being set up.
  auto shared = shared_of(item, application_.system_status_bar().items());
  if (shared && shared->menu()) status_items_.emplace(&item, std::make_unique<StatusItemView>(std::move(shared), machine_note_));
}

void DesktopFrontEnd::menu_changed(const app::Menu& menu) {
  if (StatusItemView* view = view_of_menu(&menu)) view->menu_changed();
}

void DesktopFrontEnd::item_changed(const app::MenuItem& item) {
  if (StatusItemView* view = view_of_menu(item.menu())) view->menu_item_changed(item);
}

void DesktopFrontEnd::window_changed(const app::Window& window) {
  if (WindowView* view = view_of(window)) {
    view->window_changed();
    return;
  }
  // A window is made for Qt the first time it is shown.
  if (!window.is_visible()) return;
  auto& view = windows_.emplace(&window, std::make_unique<WindowView>(window.shared_from_this())).first->second;
  view->window_changed();
}

void DesktopFrontEnd::text_field_changed(const app::TextField& field) {
  for (const auto& [window, view] : windows_)
    if (view->text_field_changed(field)) return;
}

void DesktopFrontEnd::indicator_changed(const app::ProgressIndicator& indicator) {
  for (const auto& [window, view] : windows_)
    if (view->indicator_changed(indicator)) return;
}

void DesktopFrontEnd::application_terminated() {
  for (const auto& [item, view] : status_items_) view->tray().hide();
  // The main run loop checks its condition after every task.
  if (RunLoopPort* run_loop = services().run_loop) run_loop->perform([] {});
}

}  // namespace berth::qt
