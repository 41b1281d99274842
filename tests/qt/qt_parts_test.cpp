// The Qt parts on their own: the main run loop on Qt's event loop (timers on time and
// only as scheduled, tasks in order, runs that end on their condition or time limit);
// titles laid out on one line as the model describes them; a window of the interface
// file placed from its frame (measured from the bottom left) with its controls; and
// the model's alerts as modal message boxes giving the answer of the button pressed;
// and the berthline-utility program itself: its command line, and where no display or
// system tray can show it, saying so, printing the status menu exactly as `berthctl
// menu` does, and exiting normally.
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
using testing::CommandResult;

TEST(QtRunLoop, TimersFireNoSoonerThanAskedAndOnlyAsScheduled) {
  QtRunLoop loop;
  const double start = loop.now();
  std::vector<double> fired;
  bool cancelled_fired = false;
  int repeats = 0;
  timer_id_t repeating = 0;
  loop.add_timer(0.2, false, [&] { fired.push_back(loop.now() - start); });
  loop.cancel_timer(loop.add_timer(0.05, false, [&] { cancelled_fired = true; }));
  repeating = loop.add_timer(0.02, true, [&] {
    if (++repeats == 3) loop.cancel_timer(repeating);
  });
  EXPECT_TRUE(loop.run_until([&] { return !fired.empty(); }, 2.0));
  EXPECT_FALSE(loop.run_until([] { return false; }, 0.3));
  ASSERT_EQ(fired.size(), 1u) << "a one-shot timer fires once";
  EXPECT_GE(fired[0], 0.2);
  EXPECT_EQ(repeats, 3) << "a repeating timer fires until cancelled";
  EXPECT_FALSE(cancelled_fired);
  EXPECT_EQ(loop.pending_timers(), 0u) << "fired one-shot and cancelled timers are forgotten";
}

TEST(QtRunLoop, TasksRunInOrderAtTheNextTurnAndARunEndsWhenDoneOrAtItsLimit) {
  QtRunLoop loop;
  std::vector<int> order;
  loop.perform([&] { order.push_back(1); });
  loop.perform([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty()) << "nothing runs before the loop turns";
  EXPECT_TRUE(loop.run_until([&] { return order.size() == 2; }, 5.0));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  const double start = loop.now();
  EXPECT_FALSE(loop.run_until([] { return false; }, 0.1));
  EXPECT_GE(loop.now() - start, 0.1);
  EXPECT_LT(loop.now() - start, 2.0);
  EXPECT_TRUE(loop.run_until([] { return true; }, 0.0)) << "a condition that holds ends a run at once";
}

TEST(QtRunLoop, AnInnerRunEndsOnItsOwnConditionAndTheOuterOneGoesOn) {
  QtRunLoop loop;
  bool inner_done = false, outer_done = false, inner_result = false;
  loop.add_timer(0.01, false, [&] {
    loop.add_timer(0.02, false, [&] { inner_done = true; });
    inner_result = loop.run_until([&] { return inner_done; }, 2.0);
    loop.perform([&] { outer_done = true; });
  });
  EXPECT_TRUE(loop.run_until([&] { return outer_done; }, 2.0));
  EXPECT_TRUE(inner_result);
}

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

// Runs the alert and acts on its box once it is up; returns the alert's answer.
int answer(const app::Alert& alert, const std::function<void(QMessageBox&)>& act) {
  QTimer::singleShot(50, [&act] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) act(*box);
  });
  AlertBoxes boxes;
  return boxes.respond(alert);
}

std::function<void(QMessageBox&)> press(const QString& text) {
  return [text](QMessageBox& box) {
    for (QAbstractButton* button : box.buttons())
      if (button->text() == text) QTest::mouseClick(button, Qt::LeftButton);
  };
}

TEST(AlertBox, ShowsTheAlertAsPlainTextWithItsButton) {
  QStringList buttons;
  const int answered = answer({"Vantrel Berthline Utility", "<i>Devices</i> ejected safely.", "Confirm", "", ""}, [&](QMessageBox& box) {
    EXPECT_EQ(box.windowTitle(), "Vantrel Berthline Utility");
    EXPECT_EQ(box.text(), "<i>Devices</i> ejected safely.");
    EXPECT_EQ(box.textFormat(), Qt::PlainText) << "a volume name is never read as markup";
    for (QAbstractButton* b : box.buttons()) buttons << b->text();
    EXPECT_FALSE(box.iconPixmap().isNull());
    press("Confirm")(box);
  });
  EXPECT_EQ(answered, app::kAlertDefaultReturn);
  EXPECT_EQ(buttons, QStringList{"Confirm"});
}

TEST(AlertBox, EachWayOfClosingGivesItsAnswer) {
  const auto escape = [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); };
  const struct {
    const char* name;
    app::Alert alert;
    std::function<void(QMessageBox&)> act;
    int expected;
  } cases[] = {
      {"escape, one button", {"T", "M", "Confirm", "", ""}, escape, app::kAlertDefaultReturn},
      {"the alternate", {"T", "M", "Yes", "No", "Later"}, press("No"), app::kAlertAlternateReturn},
      {"the other", {"T", "M", "Yes", "No", "Later"}, press("Later"), app::kAlertOtherReturn},
      {"escape, three buttons", {"T", "M", "Yes", "No", "Later"}, escape, app::kAlertAlternateReturn},
  };
  for (const auto& c : cases) EXPECT_EQ(answer(c.alert, c.act), c.expected) << c.name;
}

// The program with this process's environment less the display variables, plus `extra`.
CommandResult run(const std::vector<std::string>& args, const std::string& extra = "QT_QPA_PLATFORM") {
  return testing::run_program(BERTHLINE_UTILITY_PATH, args, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", extra});
}

TEST(ProgramOptions, TakesAMachineFileAndTheSyslogSwitchAndRejectsTheRest) {
  const ProgramOptions options = parse_program_options({"--machine", "m.json", "--syslog"});
  EXPECT_EQ(options.machine.path, "m.json");
  EXPECT_TRUE(options.syslog_to_stderr);
  EXPECT_TRUE(options.error.empty());
  EXPECT_EQ(parse_program_options({"--machine=x.json"}).machine.path, "x.json");
  EXPECT_TRUE(parse_program_options({"-h"}).help);
  EXPECT_EQ(parse_program_options({"--machine"}).error, "--machine needs a value");
  EXPECT_EQ(parse_program_options({"--machine", "a", "--machine", "b"}).error, "--machine is given twice");
  EXPECT_EQ(parse_program_options({"scan"}).error, "unknown argument \"scan\"");
}

TEST(ProgramWithoutDisplay, PrintsTheStatusMenuAsBerthctlDoes) {
  const CommandResult program = run({"--demo"});
  const CommandResult berthctl = testing::run_berthctl({"menu"});
  EXPECT_EQ(program.exit_status, 0) << program.err;
  EXPECT_NE(program.err.find("no display"), std::string::npos) << program.err;
  EXPECT_EQ(program.out, berthctl.out);
  EXPECT_NE(program.out.find("port 2: Travel"), std::string::npos) << program.out;
}

TEST(ProgramWithoutSystemTray, SaysSoAndPrintsTheMenuOfItsMachineFile) {
  const testing::TempDir dir;
  const CommandResult program = run({"--machine", dir.write("empty.json", "{}")}, "QT_QPA_PLATFORM=offscreen");
  EXPECT_EQ(program.exit_status, 0) << program.err;
  EXPECT_NE(program.err.find("the status menu would show"), std::string::npos) << program.err;
  EXPECT_NE(program.out.find("Found no Vantrel Berthlines."), std::string::npos) << program.out;
  EXPECT_NE(program.out.find("Quit Vantrel Berthline Utility"), std::string::npos) << program.out;
}

TEST(ProgramCommandLine, ABadMachineFileOrArgumentIsOneClearLineAndStatusTwo) {
  const CommandResult missing = run({"--machine", "/nonexistent/machine.json"});
  EXPECT_EQ(missing.exit_status, 2);
  EXPECT_NE(missing.err.find("/nonexistent/machine.json"), std::string::npos) << missing.err;
  const CommandResult wrong = run({"--frobnicate"});
  EXPECT_EQ(wrong.exit_status, 2);
  EXPECT_NE(wrong.err.find("usage: berthline-utility"), std::string::npos);
  EXPECT_EQ(run({"--help"}).exit_status, 0);
}

}  // namespace
}  // namespace berth::qt
