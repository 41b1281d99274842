#include "app/qt/title_layout.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

#include "app/qt/image_library.h"

namespace berth::qt {
namespace {

// Runs placed on a baseline at y = 0: images reach up by their height, text by its
// ascent above its raised baseline, and down by its descent.
struct Line {
  qreal x = 0;
  qreal above = 0;
  qreal below = 0;
  TitleLayout layout;

  void add_image(const std::shared_ptr<app::Image>& image) {
    if (!image) return;
    const QSize size = display_size(*image);
    layout.images.push_back({image, QRect(static_cast<int>(std::lround(x)), -size.height(), size.width(), size.height())});
    x += size.width();
    above = std::max(above, static_cast<qreal>(size.height()));
  }

  void add_text(const QString& text, const QFont& font, qreal raise) {
    const QFontMetricsF metrics(font);
    layout.texts.push_back({text, font, QPointF(x, -raise)});
    x += metrics.horizontalAdvance(text);
    above = std::max(above, raise + metrics.ascent());
    below = std::max(below, metrics.descent() - raise);
  }

  // Moves everything so that the box starts at the top left, on whole pixels.
  TitleLayout finish() {
    const qreal top = std::ceil(above);
    layout.baseline = top;
    layout.size = QSizeF(x, top + std::ceil(below));
    for (PlacedImage& image : layout.images) image.rect.translate(0, static_cast<int>(top));
    for (PlacedText& text : layout.texts) text.origin.ry() += top;
    return std::move(layout);
  }
};

}  // namespace

QFont run_font(const QFont& menu_font, double points) {
  QFont font = menu_font;
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(points))));
  return font;
}

TitleLayout lay_out_title(const app::AttributedString& title, const QFont& menu_font) {
  Line line;
  for (const app::AttributedRun& run : title.runs()) {
    if (const auto* image = std::get_if<app::ImageRun>(&run)) {
      line.add_image(image->image);
      continue;
    }
    const auto& text = std::get<app::TextRun>(run);
    const QFont font = text.font_size ? run_font(menu_font, *text.font_size) : menu_font;
    line.add_text(QString::fromStdString(text.text), font, text.baseline_offset.value_or(0.0));
  }
  return line.finish();
}

TitleLayout lay_out_title(const QString& plain, const QFont& menu_font) {
  Line line;
  line.add_text(plain, menu_font, 0.0);
  return line.finish();
}

}  // namespace berth::qt
