#include "app/qt/status_item_view.h"

#include <QCursor>

#include "app/qt/status_icon.h"

namespace berth::qt {

StatusItemView::StatusItemView(std::shared_ptr<app::StatusItem> item, std::string note)
    : item_(std::move(item)),
      menu_(std::make_unique<StatusMenu>(StatusMenu::Handlers{
          [this](app::MenuItem* highlighted) {
            if (item_->menu()) item_->menu()->highlight(highlighted);
          },
          [this](app::MenuItem& chosen) {
            if (item_->menu()) item_->menu()->choose(chosen);
          }})) {
  note_ = std::move(note);
  menu_->set_note(QString::fromStdString(note_));
  QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [this] { about_to_show(); });
  QObject::connect(menu_.get(), &QMenu::aboutToHide, menu_.get(), [this] { about_to_hide(); });
  QObject::connect(&tray_, &QSystemTrayIcon::activated, menu_.get(), [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) open_menu_at(menu_position());
  });
  item_changed();
  tray_.show();
}

StatusItemView::~StatusItemView() {
  tray_.setContextMenu(nullptr);
  tray_.hide();
}

void StatusItemView::item_changed() {
  update_icon();
  tray_.setToolTip(QString::fromStdString(note_.empty() ? item_->tool_tip() : item_->tool_tip() + " - " + note_));
  // A disabled item offers no menu at all, not even to the tray's own right click.
  tray_.setContextMenu(item_->is_enabled() && item_->menu() ? menu_.get() : nullptr);
  if (!item_->is_enabled() && menu_->isVisible()) menu_->hide();
}

void StatusItemView::update_icon() {
  StatusLook look = StatusLook::normal;
  if (!item_->is_enabled()) look = StatusLook::disabled;
  else if (menu_open_ && item_->highlight_mode()) look = StatusLook::highlighted;
  tray_.setIcon(status_icon(item_->image(), item_->alternate_image(), look, pictures_));
}

void StatusItemView::menu_changed() {
  presented_stale_ = true;
  // Changes while the menu is open are shown at once; otherwise at the next opening.
  if (menu_->isVisible() && item_->menu()) {
    menu_->present(*item_->menu());
    presented_stale_ = false;
  }
}

void StatusItemView::menu_item_changed(const app::MenuItem& item) {
  if (!presented_stale_) menu_->show_item(item);
}

QPoint StatusItemView::menu_position() const {
  // Under the icon, as a status bar's menu hangs from its item; Qt moves a menu that
  // would leave the screen (a tray at the bottom) to where it fits.
  const QRect icon = tray_.geometry();
  return icon.isValid() ? icon.bottomLeft() + QPoint(0, 1) : QCursor::pos();
}

bool StatusItemView::open_menu_at(const QPoint& position) {
  if (!item_->is_enabled() || !item_->menu()) return false;
  menu_->popup(position);
  return true;
}

void StatusItemView::about_to_show() {
  // The model refreshes the menu before it opens (the delegate rescans the docks), then
  // the menu is presented exactly as the model left it.
  if (!item_->open_menu() || !item_->menu()) {
    QMetaObject::invokeMethod(menu_.get(), &QMenu::close, Qt::QueuedConnection);
    return;
  }
  menu_->present(*item_->menu());
  presented_stale_ = false;
  menu_open_ = true;
  update_icon();
}

void StatusItemView::about_to_hide() {
  menu_open_ = false;
  if (item_->menu() && item_->menu()->is_open()) item_->menu()->close();
  update_icon();
}

}  // namespace berth::qt
