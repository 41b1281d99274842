#pragma once
// A status item of the model in the system tray: its picture and tool tip, and its
// menu, which the model fills afresh each time it is about to open. Clicking the icon
// (either button) opens the menu; a disabled item opens nothing.
#include <QSystemTrayIcon>

#include <memory>
#include <string>

#include "app/model/status_bar.h"
#include "app/qt/image_library.h"
#include "app/qt/status_menu.h"

namespace berth::qt {

class StatusItemView {
 public:
  // `note`, when not empty, follows the tool tip and heads the menu (the demo machine).
  explicit StatusItemView(std::shared_ptr<app::StatusItem> item, std::string note = {});
  ~StatusItemView();
  StatusItemView(const StatusItemView&) = delete;
  StatusItemView& operator=(const StatusItemView&) = delete;

  const app::StatusItem& item() const { return *item_; }
  QSystemTrayIcon& tray() { return tray_; }
  StatusMenu& menu() { return *menu_; }

  // What the model reports about the item, its menu and the menu's items.
  void item_changed();
  void menu_changed();
  void menu_item_changed(const app::MenuItem& item);

  // Opens the menu at a point of the screen, as a click on the icon does; false when
  // the item is disabled or has no menu.
  bool open_menu_at(const QPoint& position);

 private:
  QPoint menu_position() const;
  void about_to_show();
  void about_to_hide();
  void update_icon();

  std::shared_ptr<app::StatusItem> item_;
  std::unique_ptr<StatusMenu> menu_;
  ImageLibrary pictures_;  // before the tray, whose icons paint from it
  QSystemTrayIcon tray_;
  bool presented_stale_ = true;  // the model's menu changed since it was last presented
  bool menu_open_ = false;       // between the menu's showing and its hiding
  std::string note_;             // after the tool tip and above the menu, when not empty
};

}  // namespace berth::qt
