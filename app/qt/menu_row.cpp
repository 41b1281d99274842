#include "app/qt/menu_row.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include <cmath>

#include "app/qt/image_library.h"

namespace berth::qt {
namespace {

constexpr double kMenuFontPixels = 14.0;
// Room on the left for the check column and on the right beside the text, as menus of
// the utility's own system leave it; rows are never lower than its 22-pixel rows.
constexpr int kLeftInset = 20;
constexpr int kRightInset = 20;
constexpr int kVerticalPadding = 2;
constexpr int kMinimumHeight = 22;

}  // namespace

QFont status_menu_font() { return run_font(QApplication::font("QMenu"), kMenuFontPixels); }

QString readable_title(const app::MenuItem& item) {
  if (!item.attributed_title()) return QString::fromStdString(item.title()).trimmed();
  QString text;
  for (const app::AttributedRun& run : item.attributed_title()->runs())
    if (const auto* part = std::get_if<app::TextRun>(&run)) text += QString::fromStdString(part->text);
  return text.trimmed();
}

MenuRow::MenuRow(QMenu& menu, QAction& action, ImageLibrary& images)
    : QWidget(&menu), menu_(menu), action_(action), images_(images) {
  // Pointer moves reach the row only when it tracks them; it passes them on to the
  // menu, which highlights the row under the pointer.
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
}

void MenuRow::show_item(const app::MenuItem& item) {
  const QFont font = status_menu_font();
  layout_ = item.attributed_title() ? lay_out_title(*item.attributed_title(), font)
                                    : lay_out_title(QString::fromStdString(item.title()), font);
  setToolTip(QString::fromStdString(item.tool_tip()));
  setAccessibleName(readable_title(item));
  setEnabled(item.is_enabled());
  updateGeometry();
  update();
}

bool MenuRow::is_highlighted() const { return isEnabled() && menu_.activeAction() == &action_; }

QSize MenuRow::sizeHint() const {
  const int height = std::max(kMinimumHeight, static_cast<int>(std::ceil(layout_.size.height())) + 2 * kVerticalPadding);
  return {kLeftInset + static_cast<int>(std::ceil(layout_.size.width())) + kRightInset, height};
}

void MenuRow::paint_highlight(QPainter& painter) const {
  QStyleOptionMenuItem option;
  option.initFrom(this);
  option.state |= QStyle::State_Selected | QStyle::State_Enabled;
  option.menuItemType = QStyleOptionMenuItem::Normal;
  option.checkType = QStyleOptionMenuItem::NotCheckable;
  option.menuRect = menu_.rect();
  option.rect = rect();
  style()->drawControl(QStyle::CE_MenuItem, &option, &painter, &menu_);
}

void MenuRow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const bool highlighted = is_highlighted();
  if (highlighted) paint_highlight(painter);
  const QPoint origin(kLeftInset, (height() - static_cast<int>(std::ceil(layout_.size.height()))) / 2);
  // The model gives a highlighted row its own pictures ("-w"); only disabled ones are dimmed.
  const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
  for (const PlacedImage& placed : layout_.images)
    images_.icon(*placed.image).paint(&painter, placed.rect.translated(origin), Qt::AlignCenter, mode);
  const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
  painter.setPen(palette().color(group, highlighted ? QPalette::HighlightedText : QPalette::Text));
  for (const PlacedText& text : layout_.texts) {
    painter.setFont(text.font);
    painter.drawText(text.origin + origin, text.text);
  }
}

}  // namespace berth::qt
