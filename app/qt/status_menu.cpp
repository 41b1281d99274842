#include "app/qt/status_menu.h"

#include <QWidgetAction>

#include "app/qt/menu_row.h"

namespace berth::qt {

StatusMenu::StatusMenu(Handlers handlers) : handlers_(std::move(handlers)) {
  connect(this, &QMenu::hovered, this, [this] { follow_highlight(); });
}

StatusMenu::~StatusMenu() = default;

void StatusMenu::present(const app::Menu& menu) {
  highlighted_ = nullptr;
  rows_.clear();
  clear();
  if (!note_.isEmpty()) {
    addAction(note_)->setEnabled(false);
    addSeparator();
  }
  for (const std::shared_ptr<app::MenuItem>& item : menu.items()) {
    if (item->is_separator()) addSeparator();
    else add_row(item);
  }
}

void StatusMenu::add_row(const std::shared_ptr<app::MenuItem>& item) {
  auto* action = new QWidgetAction(this);  // the menu owns its actions, and clear() frees them
  auto* widget = new MenuRow(*this, *action, images_);
  action->setDefaultWidget(widget);
  const std::weak_ptr<app::MenuItem> weak = item;
  connect(action, &QAction::triggered, this, [this, weak] {
    if (const auto chosen = weak.lock(); chosen && handlers_.choose) handlers_.choose(*chosen);
  });
  addAction(action);
  rows_[item.get()] = Row{item, action, widget};
  show_item(*item);
}

const StatusMenu::Row* StatusMenu::find(const app::MenuItem& item) const {
  const auto it = rows_.find(&item);
  // A row whose item is gone may share its address with a newer item: not that one's row.
  if (it == rows_.end() || it->second.item.lock().get() != &item) return nullptr;
  return &it->second;
}

void StatusMenu::show_item(const app::MenuItem& item) {
  const Row* row = find(item);
  if (!row) return;
  row->action->setText(readable_title(item));
  row->action->setToolTip(QString::fromStdString(item.tool_tip()));
  row->action->setEnabled(item.is_enabled());
  row->widget->show_item(item);
}

MenuRow* StatusMenu::row_for(const app::MenuItem& item) const {
  const Row* row = find(item);
  return row ? row->widget : nullptr;
}

QAction* StatusMenu::action_for(const app::MenuItem& item) const {
  const Row* row = find(item);
  return row ? row->action : nullptr;
}

app::MenuItem* StatusMenu::item_for(const QAction* action) const {
  if (!action) return nullptr;
  for (const auto& [item, row] : rows_)
    if (row.action == action) return row.item.lock().get();
  return nullptr;
}

void StatusMenu::repaint_row(QAction* action) {
  if (auto* widget_action = qobject_cast<QWidgetAction*>(action); widget_action && widget_action->defaultWidget())
    widget_action->defaultWidget()->update();
}

void StatusMenu::follow_highlight() {
  QAction* active = activeAction();
  if (active == highlighted_) return;
  QAction* previous = highlighted_;
  highlighted_ = active;
  repaint_row(previous);
  repaint_row(active);
  if (handlers_.highlight) handlers_.highlight(item_for(active));
}

void StatusMenu::mouseMoveEvent(QMouseEvent* event) {
  QMenu::mouseMoveEvent(event);
  follow_highlight();
}

void StatusMenu::leaveEvent(QEvent* event) {
  QMenu::leaveEvent(event);
  follow_highlight();
}

void StatusMenu::keyPressEvent(QKeyEvent* event) {
  QMenu::keyPressEvent(event);
  follow_highlight();
}

void StatusMenu::hideEvent(QHideEvent* event) {
  QMenu::hideEvent(event);
  highlighted_ = nullptr;
}

}  // namespace berth::qt
