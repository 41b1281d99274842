#pragma once
// The status menu as a Qt menu: a row per item of the model's menu and a separator
// per separator, rebuilt from the model whenever it is presented. The highlight is
// reported back as it moves (null when no item is highlighted) and a chosen row hands
// its item back; what either means is the model's business.
#include <QMenu>

#include <functional>
#include <map>
#include <memory>

#include "app/model/menu.h"
#include "app/qt/image_library.h"

namespace berth::qt {

class MenuRow;

class StatusMenu final : public QMenu {
 public:
  struct Handlers {
    std::function<void(app::MenuItem*)> highlight;
    std::function<void(app::MenuItem&)> choose;
  };

  explicit StatusMenu(Handlers handlers);
  ~StatusMenu() override;

  // Rebuilds every row from the model's menu, under the note when there is one.
  void present(const app::Menu& menu);
  // A line shown, disabled, above the model's rows: what machine the menu shows when it
  // is not this computer's (the demo machine).
  void set_note(QString note) { note_ = std::move(note); }
  // Brings one item's row up to date; an item not presented is ignored.
  void show_item(const app::MenuItem& item);

  // The presented row of an item, and the item of an action; null when none.
  MenuRow* row_for(const app::MenuItem& item) const;
  QAction* action_for(const app::MenuItem& item) const;
  app::MenuItem* item_for(const QAction* action) const;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Row {
    std::weak_ptr<app::MenuItem> item;
    QAction* action;
    MenuRow* widget;
  };

  const Row* find(const app::MenuItem& item) const;
  void add_row(const std::shared_ptr<app::MenuItem>& item);
  // Reports the highlight when the menu's active action has changed.
  void follow_highlight();
  void repaint_row(QAction* action);

  Handlers handlers_;
  ImageLibrary images_;
  std::map<const app::MenuItem*, Row> rows_;
  QAction* highlighted_ = nullptr;
  QString note_;
};

}  // namespace berth::qt
