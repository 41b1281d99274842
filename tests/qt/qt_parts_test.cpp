// The Qt parts on their own: the run loop on Qt's event loop, titles laid out on one
// line, a window placed from its interface-file frame, alerts as modal message boxes;
// and the berthline-utility program where no display or system tray can show it.
#include <QAbstractButton>
#include <QApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

#include "app/qt/alert_box.h"
#include "app/qt/program_options.h"
#include "app/qt/qt_run_loop.h"
#include "app/qt/title_layout.h"
#include "app/qt/window_view.h"
#include "tests/support/run_berthctl.h"
#include "tests/support/temp_dir.h"

namespace berth::qt {
namespace {

TEST(QtRunLoop, TimersFireNoSoonerThanAskedAndOnceAndTasksRunInOrderAtTheNextTurn) {
  QtRunLoop loop;
  const double start = loop.now();
  std::vector<double> fired;
  std::vector<int> order;
  loop.add_timer(0.2, false, [&] { fired.push_back(loop.now() - start); });
  loop.perform([&] { order.push_back(1); });
  loop.perform([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty()) << "nothing runs before the loop turns";
  EXPECT_TRUE(loop.run_until([&] { return !fired.empty(); }, 2.0));
  const double waited_from = loop.now();
  EXPECT_FALSE(loop.run_until([] { return false; }, 0.3)) << "a run ends at its time limit";
  EXPECT_GE(loop.now() - waited_from, 0.3);
  ASSERT_EQ(fired.size(), 1u) << "a one-shot timer fires once";
  EXPECT_GE(fired[0], 0.2);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(loop.pending_timers(), 0u) << "a fired one-shot timer is forgotten";
}

std::shared_ptr<app::Image> image(const char* name, double side) {
  return std::make_shared<app::Image>(name, std::string("/nowhere/") + name + ".png", app::Size{side, side});
}

TEST(TitleLayout, ImagesStandOnTheBaselineAndTextIsRaisedByItsOffsetInItsOwnFont) {
  auto badge = image("unit_1", 60);
  badge->set_size({21, 21});
  app::AttributedString title = app::AttributedString::with_attachment(badge);
  app::AttributedString words(" Eject all volumes ");
  words.add_font_attribute(14.0);
  words.add_baseline_offset_attribute(5.0);
  title.append(words);
  title.append(app::AttributedString::with_attachment(image("eject", 20)));
  const TitleLayout layout = lay_out_title(title, QFont("DejaVu Sans"));

  ASSERT_EQ(std::tuple(layout.images.size(), layout.texts.size()), std::tuple(2u, 1u));
  EXPECT_EQ(layout.images[0].rect, QRect(0, layout.baseline - 21, 21, 21)) << "the badge at its scaled size, not 60";
  const PlacedText& text = layout.texts[0];
  EXPECT_EQ(text.font.pixelSize(), 14);
  EXPECT_EQ(text.origin, QPointF(21.0, layout.baseline - 5.0)) << "right after the badge, raised";
  const QFontMetricsF metrics(text.font);
  const qreal text_width = metrics.horizontalAdvance(text.text);
  EXPECT_EQ(layout.images[1].rect.size(), QSize(20, 20));
  EXPECT_EQ(layout.images[1].rect.bottom() + 1, layout.baseline);
  EXPECT_NEAR(layout.images[1].rect.left(), 21.0 + text_width, 0.5) << "the eject sign follows the text";
  EXPECT_NEAR(layout.size.width(), 21.0 + text_width + 20.0, 0.5);
  // The line box holds the tallest run; raised by 5 pixels, the text's descent stays
  // above the baseline, so nothing hangs below.
  EXPECT_GE(layout.baseline, std::max(21.0, 5.0 + metrics.ascent()));
  EXPECT_EQ(layout.size.height(), layout.baseline + std::max(0.0, std::ceil(metrics.descent() - 5.0)));
  QFont menu_font("DejaVu Sans");
  menu_font.setPixelSize(11);
  EXPECT_EQ(lay_out_title(app::AttributedString("plain"), menu_font).texts.at(0).font.pixelSize(), 11)
      << "a run without a font takes the menu font";
}

TEST(WindowView, TakesItsPlaceAndControlsFromTheInterfaceFileAndFollowsOnlyItsOwn) {
  const auto window = std::make_shared<app::Window>("Vantrel Berthline Utility", app::Rect{40, 300, 360, 96});
  const auto field = std::make_shared<app::TextField>(app::Rect{18, 54, 324, 22}, 13.0);
  const auto indicator = std::make_shared<app::ProgressIndicator>(app::Rect{20, 20, 320, 20}, true);
  window->add_content(field);
  window->add_content(indicator);
  field->set_string_value("<b>not bold</b>");
  WindowView view(window);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(view.windowTitle(), "Vantrel Berthline Utility");
  EXPECT_EQ(view.geometry(), QRect(40, screen.height() - 300 - 96, 360, 96)) << "measured from the screen's bottom";
  const QLabel* label = view.label_for(*field);
  const QProgressBar* bar = view.bar_for(*indicator);
  ASSERT_TRUE(label && bar);
  EXPECT_EQ(label->geometry(), QRect(18, 96 - 54 - 22, 324, 22));
  EXPECT_EQ(std::tuple(label->font().pixelSize(), label->textFormat(), label->text()),
            std::tuple(13, Qt::PlainText, QString("<b>not bold</b>")));
  EXPECT_EQ(bar->geometry(), QRect(20, 96 - 20 - 20, 320, 20));
  EXPECT_TRUE(view.testAttribute(Qt::WA_ShowWithoutActivating)) << "shown, not made key";
  field->set_string_value("Ejecting volumes. Please wait...");
  EXPECT_TRUE(view.text_field_changed(*field));
  EXPECT_EQ(label->text(), "Ejecting volumes. Please wait...");
  EXPECT_FALSE(view.text_field_changed(app::TextField(app::Rect{}, 13.0))) << "a control of another window";
  EXPECT_FALSE(view.indicator_changed(app::ProgressIndicator(app::Rect{}, true)));
  WindowView far(std::make_shared<app::Window>("far", app::Rect{5000, -400, 360, 96}));
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(far.geometry()))
      << "a frame beyond the screen is brought onto it: " << far.geometry().x() << "," << far.geometry().y();
}

// Runs the alert and acts on its box once it is up; returns the alert's answer.
int answer(const app::Alert& alert, const std::function<void(QMessageBox&)>& act) {
  QTimer::singleShot(50, [&act] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) act(*box);
  });
  return AlertBoxes().respond(alert);
}

// A volume name is never read as markup; the box has its icon and the alert's button,
// and the escape key gives the default answer too.
TEST(AlertBox, ShowsTheAlertAsPlainTextWithItsButtonAndEitherWayOfClosingGivesTheDefault) {
  const app::Alert alert{"Vantrel Berthline Utility", "<i>Devices</i> ejected safely.", "Confirm", "", ""};
  QStringList shown;
  EXPECT_EQ(answer(alert,
                   [&](QMessageBox& box) {
                     shown << box.windowTitle() << box.text() << QString::number(box.textFormat())
                           << QString::number(box.iconPixmap().isNull());
                     for (QAbstractButton* b : box.buttons()) shown << b->text();
                     if (!box.buttons().isEmpty()) QTest::mouseClick(box.buttons().front(), Qt::LeftButton);
                   }),
            app::kAlertDefaultReturn);
  EXPECT_EQ(shown, (QStringList{"Vantrel Berthline Utility", "<i>Devices</i> ejected safely.",
                                QString::number(Qt::PlainText), "0", "Confirm"}));
  EXPECT_EQ(answer(alert, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }), app::kAlertDefaultReturn);
}

TEST(ProgramOptions, TakesAMachineFileAndTheSyslogSwitchAndRejectsTheRest) {
  const ProgramOptions options = parse_program_options({"--machine", "m.json", "--syslog"});
  EXPECT_EQ(std::tuple(options.machine.path, options.syslog_to_stderr, options.error), std::tuple("m.json", true, ""));
  EXPECT_EQ(parse_program_options({"--machine=x.json"}).machine.path, "x.json");
  EXPECT_TRUE(parse_program_options({"-h"}).help);
  EXPECT_EQ(parse_program_options({"--machine", "a", "--machine", "b"}).error, "--machine is given twice");
  EXPECT_EQ(parse_program_options({"scan"}).error, "unknown argument \"scan\"");
}

// The program with this process's environment less the display variables, plus `extra`:
// no display at all, or Qt's offscreen platform, which has no system tray.
TEST(Program, WithoutDisplayOrTraySaysSoAndPrintsTheMenuAndABadCommandLineIsStatusTwo) {
  const testing::TempDir dir;
  const std::string empty = dir.write("empty.json", "{}");
  const struct {
    std::vector<std::string> args;
    std::string extra;
    int status;
    const char* err;
    const char* out;
  } cases[] = {
      {{"--demo"}, "QT_QPA_PLATFORM", 0, "no display", "port 2: Travel"},
      {{"--machine", empty}, "QT_QPA_PLATFORM=offscreen", 0, "the status menu would show", "Found no Vantrel Berthlines."},
      {{"--machine", "/nonexistent/machine.json"}, "QT_QPA_PLATFORM", 2, "/nonexistent/machine.json", ""},
      {{"--frobnicate"}, "QT_QPA_PLATFORM", 2, "usage: berthline-utility", ""},
      {{"--help"}, "QT_QPA_PLATFORM", 0, "", "usage: berthline-utility"},
  };
  for (const auto& c : cases) {
    const auto run = testing::run_program(BERTHLINE_UTILITY_PATH, c.args, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", c.extra});
    EXPECT_EQ(run.exit_status, c.status) << c.args[0] << ": " << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    if (c.args[0] != "--demo") continue;
    EXPECT_EQ(run.out, testing::run_berthctl({"menu"}).out) << "exactly as berthctl prints it";
  }
}

}  // namespace
}  // namespace berth::qt
