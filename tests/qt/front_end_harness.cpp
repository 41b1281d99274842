#include "tests/qt/front_end_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QTest>

#include <stdexcept>

#include "app/model/application_main.h"
#include "platform/sim/demo_machine.h"
#include "tests/support/sim_fixture.h"

namespace berth::testing {

FrontEndHarness::FrontEndHarness()
    : machine_(std::make_unique<sim::SimMachine>(sim::demo_machine_file())),
      resources_("/usr/bin/berthline-utility", BERTH_APP_RESOURCES_DIR) {
  reset_device_tables();
  Services ports = machine_->services(Services{nullptr, &console_, &log_});
  ports.resources = &resources_;
  ports.run_loop = &run_loop_;
  installed_ = std::make_unique<ScopedServices>(ports);
  application_ = std::make_unique<app::Application>();
  front_end_ = std::make_unique<qt::DesktopFrontEnd>(*application_);
  interface_ = app::NSApplicationLaunch(*application_, app::make_interface_object);
  if (!interface_.loaded) throw std::runtime_error("the application did not launch: " + interface_.error);
  delegate_ = dynamic_cast<app::AppDelegate*>(interface_.loaded->application_delegate);
  alert_watch_.setInterval(20);
  QObject::connect(&alert_watch_, &QTimer::timeout, [this] { answer_alert(); });
  alert_watch_.start();
}

FrontEndHarness::~FrontEndHarness() {
  alert_watch_.stop();
  front_end_.reset();
  interface_ = {};
  application_.reset();
}

void FrontEndHarness::answer_alert() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible() || box->property("answered").toBool()) return;
  box->setProperty("answered", true);
  QStringList buttons;
  for (QAbstractButton* button : box->buttons()) buttons << button->text();
  const qt::WindowView* progress = front_end_->view_of(*delegate_->_window_Msg);
  const QString window = progress && progress->isVisible() ? "up" : "hidden";
  alerts_.push_back({QString("%1: %2 [%3] (window %4)").arg(box->windowTitle(), box->text(), buttons.join(", "), window)
                         .toStdString(), run_loop_.now()});
  if (!box->buttons().isEmpty()) QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
}

bool FrontEndHarness::open_menu() {
  // A menu ignores small moves near where the pointer was when it opened (and a test
  // may have left the pointer over a row): open it with the pointer far away.
  QCursor::setPos(QPoint(0, 0));
  if (!status_view().open_menu_at(QPoint(400, 30))) return false;
  return QTest::qWaitFor([this] { return menu().isVisible(); }, 2000);
}

app::MenuItem& FrontEndHarness::item(std::int64_t tag) {
  if (const auto found = model_menu().item_with_tag(tag)) return *found;
  throw std::runtime_error("no item with tag " + std::to_string(tag));
}

qt::MenuRow& FrontEndHarness::row(std::int64_t tag) {
  if (qt::MenuRow* row = menu().row_for(item(tag))) return *row;
  throw std::runtime_error("no row for tag " + std::to_string(tag));
}

void FrontEndHarness::point_at(std::optional<std::int64_t> tag) {
  if (!tag) {
    // Out of the menu: Qt reports leaving the popup as the pointer crosses its edge.
    QTest::mouseMove(&menu(), QPoint(menu().width() / 2, menu().height() + 40));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&menu(), &leave);
    return;
  }
  qt::MenuRow& target = row(*tag);
  // Two moves: the first may only tell the window that the pointer entered it.
  QTest::mouseMove(&target, target.rect().center() - QPoint(2, 0));
  QTest::mouseMove(&target, target.rect().center());
}

void FrontEndHarness::click(std::int64_t tag) {
  point_at(tag);
  qt::MenuRow& target = row(tag);
  QTest::mouseClick(&target, Qt::LeftButton, {}, target.rect().center());
}

bool FrontEndHarness::run_until_idle(double limit) {
  return run_loop_.run_until([this] { return delegate_->statusItem->is_enabled(); }, limit);
}

std::vector<std::string> FrontEndHarness::images_of(const qt::MenuRow& row) {
  std::vector<std::string> names;
  for (const qt::PlacedImage& image : row.title_layout().images) names.push_back(image.image->name());
  return names;
}

}  // namespace berth::testing
