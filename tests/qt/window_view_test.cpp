// A window of the interface file on the screen: placed from its frame (measured from
// the bottom left), its controls where the file puts them, following the model.
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include <gtest/gtest.h>

#include "app/qt/window_view.h"

namespace berth::qt {
namespace {

struct ProgressWindow {
  std::shared_ptr<app::Window> window = std::make_shared<app::Window>("Vantrel Berthline Utility",
                                                                      app::Rect{40, 300, 360, 96});
  std::shared_ptr<app::TextField> field = std::make_shared<app::TextField>(app::Rect{18, 54, 324, 22}, 13.0);
  std::shared_ptr<app::ProgressIndicator> indicator =
      std::make_shared<app::ProgressIndicator>(app::Rect{20, 20, 320, 20}, true);
  ProgressWindow() {
    window->add_content(field);
    window->add_content(indicator);
  }
};

TEST(WindowView, TakesItsPlaceAndControlsFromTheInterfaceFile) {
  ProgressWindow model;
  model.field->set_string_value("<b>not bold</b>");
  WindowView view(model.window);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(view.windowTitle(), "Vantrel Berthline Utility");
  EXPECT_EQ(view.size(), QSize(360, 96));
  EXPECT_EQ(view.pos(), QPoint(40, screen.height() - 300 - 96)) << "measured from the screen's bottom";
  const QLabel* label = view.label_for(*model.field);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->geometry(), QRect(18, 96 - 54 - 22, 324, 22));
  EXPECT_EQ(label->font().pixelSize(), 13);
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->text(), "<b>not bold</b>");
  const QProgressBar* bar = view.bar_for(*model.indicator);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->geometry(), QRect(20, 96 - 20 - 20, 320, 20));
  EXPECT_TRUE(view.testAttribute(Qt::WA_ShowWithoutActivating)) << "shown, not made key";

  WindowView far(std::make_shared<app::Window>("far", app::Rect{5000, -400, 360, 96}));
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(far.geometry()))
      << "a frame beyond the screen is brought onto it: " << far.geometry().x() << "," << far.geometry().y();
}

// Following the model through an eject is the eject flow's to check; a view answers
// only for its own window's controls.
TEST(WindowView, IgnoresControlsOfOtherWindows) {
  ProgressWindow model;
  ProgressWindow other;
  WindowView view(model.window);
  EXPECT_FALSE(view.text_field_changed(*other.field));
  EXPECT_FALSE(view.indicator_changed(*other.indicator));
  model.field->set_string_value("Ejecting volumes. Please wait...");
  EXPECT_TRUE(view.text_field_changed(*model.field));
  EXPECT_EQ(view.label_for(*model.field)->text(), "Ejecting volumes. Please wait...");
}

}  // namespace
}  // namespace berth::qt
