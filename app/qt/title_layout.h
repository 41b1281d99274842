#pragma once
// Lays out a menu item's title as the toolkit of the utility's own system sets an
// attributed string on one line: runs follow each other left to right; an image run
// (a text attachment) stands on the baseline at its display size; a text run is set in
// the system font of its size and raised by its baseline offset. A plain title is one
// text run in the menu font.
#include <QFont>
#include <QRect>
#include <QString>

#include <memory>
#include <vector>

#include "app/model/attributed_string.h"

namespace berth::qt {

struct PlacedImage {
  std::shared_ptr<app::Image> image;
  QRect rect;  // whole pixels, so the picture stays crisp
};

struct PlacedText {
  QString text;
  QFont font;
  QPointF origin;  // the start of the text's own baseline
};

struct TitleLayout {
  QSizeF size;         // the line's box, from the highest ascent to the lowest descent
  qreal baseline = 0;  // the line's baseline, from the top of the box
  std::vector<PlacedImage> images;
  std::vector<PlacedText> texts;
};

// `menu_font` is the font of plain titles and of text runs without a font of their
// own; a run's font size replaces its size, in device-independent pixels.
TitleLayout lay_out_title(const app::AttributedString& title, const QFont& menu_font);
TitleLayout lay_out_title(const QString& plain, const QFont& menu_font);

// The system font of `points` for a text run (points are device-independent pixels).
QFont run_font(const QFont& menu_font, double points);

}  // namespace berth::qt
