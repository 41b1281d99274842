// Titles set on one line as the model describes them: pictures on the baseline at
// their display size, text in its own font raised by its baseline offset.
#include <QFontMetricsF>

#include <gtest/gtest.h>

#include "app/qt/title_layout.h"

namespace berth::qt {
namespace {

std::shared_ptr<app::Image> image(const char* name, double width, double height) {
  return std::make_shared<app::Image>(name, std::string("/nowhere/") + name + ".png", app::Size{width, height});
}

TEST(TitleLayout, ImagesStandOnTheBaselineAndTextIsRaisedByItsOffsetInItsOwnFont) {
  auto badge = image("unit_1", 60, 60);
  badge->set_size({21, 21});
  app::AttributedString title = app::AttributedString::with_attachment(badge);
  app::AttributedString words(" Eject all volumes ");
  words.add_font_attribute(14.0);
  words.add_baseline_offset_attribute(5.0);
  title.append(words);
  title.append(app::AttributedString::with_attachment(image("eject", 20, 20)));
  const TitleLayout layout = lay_out_title(title, QFont("DejaVu Sans"));

  ASSERT_EQ(layout.images.size(), 2u);
  EXPECT_EQ(layout.images[0].rect.size(), QSize(21, 21)) << "the badge at its scaled size, not its 60 pixels";
  EXPECT_EQ(layout.images[1].rect.size(), QSize(20, 20));
  for (const PlacedImage& placed : layout.images) EXPECT_EQ(placed.rect.bottom() + 1, layout.baseline);
  EXPECT_EQ(layout.images[0].rect.left(), 0);
  ASSERT_EQ(layout.texts.size(), 1u);
  const PlacedText& text = layout.texts[0];
  EXPECT_EQ(text.font.pixelSize(), 14);
  EXPECT_DOUBLE_EQ(text.origin.y(), layout.baseline - 5.0);
  EXPECT_DOUBLE_EQ(text.origin.x(), 21.0) << "right after the badge";
  const QFontMetricsF metrics(text.font);
  const qreal text_width = metrics.horizontalAdvance(text.text);
  EXPECT_NEAR(layout.images[1].rect.left(), 21.0 + text_width, 0.5) << "the eject sign follows the text";
  EXPECT_NEAR(layout.size.width(), 21.0 + text_width + 20.0, 0.5);
  // The line box holds the tallest run; raised by 5 pixels, the text's descent stays
  // above the baseline, so nothing hangs below.
  EXPECT_GE(layout.baseline, 21.0);
  EXPECT_GE(layout.baseline, 5.0 + metrics.ascent());
  EXPECT_EQ(layout.size.height(), layout.baseline + std::max(0.0, std::ceil(metrics.descent() - 5.0)));
}

TEST(TitleLayout, APlainTitleIsOneRunInTheMenuFontKeepingItsBlanks) {
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  const TitleLayout layout = lay_out_title(QString("      port 2: Travel"), font);
  ASSERT_EQ(layout.texts.size(), 1u);
  EXPECT_EQ(layout.texts[0].text, "      port 2: Travel");
  EXPECT_EQ(layout.texts[0].font.pixelSize(), 11);
  EXPECT_DOUBLE_EQ(layout.texts[0].origin.x(), 0.0);
  EXPECT_TRUE(layout.images.empty());
  const QFontMetricsF metrics(font);
  EXPECT_GT(layout.size.width(), metrics.horizontalAdvance("port 2: Travel") + 5 * metrics.horizontalAdvance(' '));
  EXPECT_EQ(lay_out_title(app::AttributedString("plain"), font).texts.at(0).font.pixelSize(), 11)
      << "a run without a font takes the menu font";
}

}  // namespace
}  // namespace berth::qt
