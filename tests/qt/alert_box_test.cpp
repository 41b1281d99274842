// The model's alerts as modal message boxes: title, message and informative text as plain
// text, the buttons in order, and the answer the button pressed gives.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/qt/alert_box.h"

namespace berth::qt {
namespace {

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
  const app::Alert alert{"Vantrel Berthline Utility", "<i>Devices</i> ejected safely.", "Confirm", "", "",
                         "in use by <b>sh</b> (pid 7)"};
  const int answered = answer(alert, [&](QMessageBox& box) {
    EXPECT_EQ(box.windowTitle(), "Vantrel Berthline Utility");
    EXPECT_EQ(box.text(), "<i>Devices</i> ejected safely.");
    EXPECT_EQ(box.textFormat(), Qt::PlainText) << "a volume name is never read as markup";
    EXPECT_EQ(QTextDocumentFragment::fromHtml(box.informativeText()).toPlainText(), "in use by <b>sh</b> (pid 7)");
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

}  // namespace
}  // namespace berth::qt
