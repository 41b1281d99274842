#pragma once
// What a front end hears from the model: every change it must present, as it happens.
// The model calls these on the main thread; a front end only presents and feeds user
// events back (open the menu, move the highlight, choose an item, press a button).

namespace berth::app {

class Menu;
class MenuItem;
class StatusItem;
class Window;
class TextField;
class ProgressIndicator;
struct Alert;

class ModelObserver {
 public:
  virtual ~ModelObserver() = default;
  virtual void menu_changed(const Menu&) {}             // items added or removed, or update asked for
  virtual void item_changed(const MenuItem&) {}         // title, attributed title, action, tool tip or tag
  virtual void status_item_changed(const StatusItem&) {}
  virtual void window_changed(const Window&) {}         // shown or hidden
  virtual void text_field_changed(const TextField&) {}
  virtual void indicator_changed(const ProgressIndicator&) {}
  virtual void alert_shown(const Alert&) {}             // before the alert is answered
  virtual void application_terminated() {}
};

}  // namespace berth::app
