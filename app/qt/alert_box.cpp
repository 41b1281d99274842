#include "app/qt/alert_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSpacerItem>
#include <QStyle>
#include <QTextDocument>

namespace berth::qt {
namespace {

constexpr int kIconSize = 64;
constexpr int kBadgeSize = 30;
// Wide enough for the title "Vantrel Berthline Utility" in the window manager's bar.
constexpr int kMinimumWidth = 380;

// A critical alert shows the application's icon with a caution badge, as the alert
// panels of the utility's own system do; the badge alone without an application icon.
QPixmap critical_alert_icon(const QWidget& box) {
  const qreal scale = box.devicePixelRatioF();
  QPixmap icon(QSize(kIconSize, kIconSize) * scale);
  icon.setDevicePixelRatio(scale);
  icon.fill(Qt::transparent);
  QPainter painter(&icon);
  const QIcon caution = box.style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, &box);
  if (QApplication::windowIcon().isNull()) {
    caution.paint(&painter, QRect(0, 0, kIconSize, kIconSize));
    return icon;
  }
  QApplication::windowIcon().paint(&painter, QRect(0, 0, kIconSize, kIconSize));
  caution.paint(&painter, QRect(kIconSize - kBadgeSize, kIconSize - kBadgeSize, kBadgeSize, kBadgeSize));
  return icon;
}

void set_minimum_width(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  // The layout owns the spacer.
  grid->addItem(new QSpacerItem(kMinimumWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0,
                1, grid->columnCount());
}

}  // namespace

int AlertBoxes::respond(const app::Alert& alert) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(alert.title), QString::fromStdString(alert.message));
  box.setTextFormat(Qt::PlainText);
  // Why it failed goes under the message. The box reads that text as rich text when it
  // looks so, whatever its text format, so it goes in as the rich form of plain text.
  if (!alert.informative.empty())
    box.setInformativeText(Qt::convertFromPlainText(QString::fromStdString(alert.informative)));
  box.setIconPixmap(critical_alert_icon(box));
  QPushButton* default_button = box.addButton(QString::fromStdString(alert.default_button), QMessageBox::AcceptRole);
  QPushButton* alternate = alert.alternate_button.empty()
                               ? nullptr
                               : box.addButton(QString::fromStdString(alert.alternate_button), QMessageBox::RejectRole);
  if (!alert.other_button.empty()) box.addButton(QString::fromStdString(alert.other_button), QMessageBox::ActionRole);
  box.setDefaultButton(default_button);
  // Escape answers as the default button does when there is no other way out.
  box.setEscapeButton(alternate ? alternate : default_button);
  set_minimum_width(box);
  box.exec();
  if (box.clickedButton() == default_button) return app::kAlertDefaultReturn;
  if (alternate && box.clickedButton() == alternate) return app::kAlertAlternateReturn;
  return app::kAlertOtherReturn;
}

}  // namespace berth::qt
