#pragma once
// One item of the status menu as a row of the Qt menu. Every row is drawn here, plain
// and attributed titles alike, so that they share one inset, one font and one
// highlight: the style's own highlighted menu-item background, the highlighted text
// colour, and pictures dimmed on disabled rows. The row passes pointer moves and
// clicks on to its menu, which tracks the highlight and triggers the row's action.
#include <QWidget>

#include "app/model/menu.h"
#include "app/qt/title_layout.h"

class QAction;
class QMenu;

namespace berth::qt {

class ImageLibrary;

class MenuRow final : public QWidget {
 public:
  MenuRow(QMenu& menu, QAction& action, ImageLibrary& images);

  // Takes the item's title (attributed when it has one), tool tip and enabled state.
  void show_item(const app::MenuItem& item);
  const TitleLayout& title_layout() const { return layout_; }
  // True while the menu highlights this row.
  bool is_highlighted() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void paint_highlight(QPainter& painter) const;

  QMenu& menu_;
  QAction& action_;
  ImageLibrary& images_;
  TitleLayout layout_;
};

// The font of the status menu's titles: the system font at 14 device-independent
// pixels, the menu font of the utility's own system.
QFont status_menu_font();

// The plain text an item's title reads as, for the action's text and accessibility:
// an attributed title without its pictures, trimmed.
QString readable_title(const app::MenuItem& item);

}  // namespace berth::qt
