// The model's alerts as modal message boxes: title, message as plain text, the buttons
// in order, and the answer the button pressed gives.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
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

QAbstractButton* button(QMessageBox& box, const QString& text) {
  for (QAbstractButton* candidate : box.buttons())
    if (candidate->text() == text) return candidate;
  return nullptr;
}

TEST(AlertBox, ShowsTheAlertAndAnswersWithTheDefaultButton) {
  QString title, text;
  Qt::TextFormat format = Qt::AutoText;
  QStringList buttons;
  bool has_icon = false;
  const int answered = answer({"Vantrel Berthline Utility", "<i>Devices</i> ejected safely.", "Confirm", "", ""},
                              [&](QMessageBox& box) {
                                title = box.windowTitle();
                                text = box.text();
                                format = box.textFormat();
                                for (QAbstractButton* b : box.buttons()) buttons << b->text();
                                has_icon = !box.iconPixmap().isNull();
                                QTest::mouseClick(button(box, "Confirm"), Qt::LeftButton);
                              });
  EXPECT_EQ(answered, app::kAlertDefaultReturn);
  EXPECT_EQ(title, "Vantrel Berthline Utility");
  EXPECT_EQ(text, "<i>Devices</i> ejected safely.");
  EXPECT_EQ(format, Qt::PlainText) << "a volume name is never read as markup";
  EXPECT_EQ(buttons, QStringList{"Confirm"});
  EXPECT_TRUE(has_icon);
}

TEST(AlertBox, EscapeOnAOneButtonAlertAnswersWithThatButton) {
  const int answered = answer({"T", "M", "Confirm", "", ""},
                              [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
  EXPECT_EQ(answered, app::kAlertDefaultReturn);
}

TEST(AlertBox, EachButtonGivesItsOwnAnswer) {
  const app::Alert alert{"T", "M", "Yes", "No", "Later"};
  EXPECT_EQ(answer(alert, [](QMessageBox& box) { QTest::mouseClick(button(box, "No"), Qt::LeftButton); }),
            app::kAlertAlternateReturn);
  EXPECT_EQ(answer(alert, [](QMessageBox& box) { QTest::mouseClick(button(box, "Later"), Qt::LeftButton); }),
            app::kAlertOtherReturn);
  EXPECT_EQ(answer(alert, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }), app::kAlertAlternateReturn);
}

}  // namespace
}  // namespace berth::qt
