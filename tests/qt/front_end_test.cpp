// What the Qt front end itself does with the model, whose menu and eject rules the model
// tests check: rows following the items, the pointer and keys routed to the highlight and
// choice, icons repainted, and an eject on the screen with its window and modal alerts.
#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "app/app_delegate.h"
#include "app/app_texts.h"
#include "app/model/application_main.h"
#include "app/qt/desktop_front_end.h"
#include "app/qt/menu_row.h"
#include "app/qt/qt_run_loop.h"
#include "platform/desktop/desktop_resources.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/demo_machine.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/sim_machine.h"
#include "tests/support/sim_fixture.h"

namespace berth {
namespace {

using testing::reset_device_tables;
using Lines = std::vector<std::string>;

// The application launched with the Qt front end on Qt's offscreen platform: the
// simulated demo machine, the application's real resources and the Qt run loop. Alerts
// are answered as a user would, by pressing their button in the message box, and
// recorded as shown: "TITLE: TEXT [BUTTON, ...] (window up)", or "(window hidden)" when
// the progress window was not on the screen, with the run loop's clock.
class FrontEndHarness {
 public:
  struct SeenAlert {
    std::string shown;
    double at;
  };

  FrontEndHarness() {
    reset_device_tables();
    Services ports = machine_.services(Services{nullptr, &console_, &log_});
    ports.resources = &resources_;
    ports.run_loop = &run_loop_;
    installed_ = std::make_unique<ScopedServices>(ports);
    application_ = std::make_unique<app::Application>();
    front_end_ = std::make_unique<qt::DesktopFrontEnd>(*application_);
    interface_ = app::NSApplicationLaunch(*application_, app::make_interface_object);
    if (!interface_.loaded) throw std::runtime_error("the application did not launch: " + interface_.error);
    delegate_ = dynamic_cast<app::AppDelegate*>(interface_.loaded->application_delegate);
    alert_watch_.callOnTimeout([this] { answer_alert(); });
    alert_watch_.start(20);
  }

  app::Application& application() { return *application_; }
  app::AppDelegate& delegate() { return *delegate_; }
  qt::StatusItemView& status_view() { return *front_end_->view_of(*delegate_->statusItem); }
  qt::StatusMenu& menu() { return status_view().menu(); }
  app::Menu& model_menu() { return *delegate_->statusItem->menu(); }
  const qt::WindowView* progress() { return front_end_->view_of(*delegate_->_window_Msg); }
  const std::vector<SeenAlert>& alerts() const { return alerts_; }
  double now() { return run_loop_.now(); }
  Lines unmounted() { return machine_.disks().workspace().unmounted(); }

  // Clicks the tray icon and waits until the menu is on the screen. A menu ignores small
  // moves near where the pointer was when it opened (and a test may have left the pointer
  // over a row): open it with the pointer far away.
  bool open_menu() {
    QCursor::setPos(QPoint(0, 0));
    return status_view().open_menu_at(QPoint(400, 30)) && QTest::qWaitFor([this] { return menu().isVisible(); }, 2000);
  }
  // The model's item with this tag, and its row in the open menu.
  app::MenuItem& item(std::int64_t tag) {
    if (const auto found = model_menu().item_with_tag(tag)) return *found;
    throw std::runtime_error("no item with tag " + std::to_string(tag));
  }
  qt::MenuRow& row(std::int64_t tag) {
    if (qt::MenuRow* row = menu().row_for(item(tag))) return *row;
    throw std::runtime_error("no row for tag " + std::to_string(tag));
  }
  // Moves the pointer onto the row of the item with this tag; none: out of the menu,
  // which Qt reports as the pointer crosses the popup's edge.
  void point_at(std::optional<std::int64_t> tag) {
    if (!tag) {
      QTest::mouseMove(&menu(), QPoint(menu().width() / 2, menu().height() + 40));
      QEvent leave(QEvent::Leave);
      QApplication::sendEvent(&menu(), &leave);
      return;
    }
    // Two moves: the first may only tell the window that the pointer entered it.
    QTest::mouseMove(&row(*tag), row(*tag).rect().center() - QPoint(2, 0));
    QTest::mouseMove(&row(*tag), row(*tag).rect().center());
  }
  // Runs the event loop until the status item is enabled again (an eject is over).
  bool run_until_idle() { return run_loop_.run_until([this] { return delegate_->statusItem->is_enabled(); }, 5.0); }

 private:
  void answer_alert() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("answered").toBool()) return;
    box->setProperty("answered", true);
    QStringList buttons;
    for (QAbstractButton* button : box->buttons()) buttons << button->text();
    const QString window = progress() && progress()->isVisible() ? "up" : "hidden";
    alerts_.push_back({QString("%1: %2 [%3] (window %4)").arg(box->windowTitle(), box->text(), buttons.join(", "), window)
                           .toStdString(), run_loop_.now()});
    if (!box->buttons().isEmpty()) QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
  }

  sim::CaptureConsole console_;
  sim::MemorySystemLog log_;
  sim::SimMachine machine_{sim::demo_machine_file()};
  desktop::DesktopResources resources_{"/usr/bin/berthline-utility", BERTH_APP_RESOURCES_DIR};
  qt::QtRunLoop run_loop_;
  // Declared in the order that lets each go before what it refers to.
  std::unique_ptr<ScopedServices> installed_;
  std::unique_ptr<app::Application> application_;
  app::InterfaceLoadResult interface_;
  std::unique_ptr<qt::DesktopFrontEnd> front_end_;
  app::AppDelegate* delegate_ = nullptr;
  QTimer alert_watch_;
  std::vector<SeenAlert> alerts_;
};

// The name of each image in a row's title, in order.
Lines images_of(const qt::MenuRow& row) {
  Lines names;
  for (const qt::PlacedImage& image : row.title_layout().images) names.push_back(image.image->name());
  return names;
}

constexpr std::int64_t kEjectAll = 0x3FF, kAllUSB = 0x4FF, kAllESATA = 0x8FF, kUSBPort1 = 0x100, kUSBPort2 = 0x101;

// The menu as the model has it, and as Qt shows it: per item, a separator, or its tag,
// enabled flag and tool tip.
TEST(StatusMenuView, TheTrayShowsTheLogoAndOneRowFollowingEachModelItem) {
  FrontEndHarness h;
  EXPECT_EQ(h.status_view().tray().toolTip(), "Vantrel Berthline Utility");
  EXPECT_FALSE(h.status_view().tray().icon().isNull());
  ASSERT_TRUE(h.open_menu());
  const auto line = [](std::int64_t tag, bool enabled, bool shown_enabled, const std::string& tip) {
    return format("%lld %d%d ", static_cast<long long>(tag), enabled, shown_enabled) + tip;
  };
  Lines model, shown;
  for (const auto& item : h.model_menu().items())
    model.push_back(item->is_separator() ? "---" : line(item->tag(), item->is_enabled(), item->is_enabled(), item->tool_tip()));
  for (QAction* action : h.menu().actions()) {
    const app::MenuItem* item = h.menu().item_for(action);
    const qt::MenuRow* row = item ? h.menu().row_for(*item) : nullptr;
    shown.push_back(action->isSeparator() || !row ? "---"
                                                  : line(item->tag(), action->isEnabled(), row->isEnabled(), row->toolTip().toStdString()));
  }
  EXPECT_EQ(shown, model);
  EXPECT_EQ(h.row(kUSBPort2).title_layout().texts.at(0).text, "      port 2: Travel");
  EXPECT_EQ(h.menu().action_for(h.item(kUSBPort2))->text(), "port 2: Travel") << "the blanks are layout only";
}

// One open menu, one move after another: the item highlighted, and so the one group
// command whose eject sign is the "-w" look.
TEST(StatusMenuView, OnlyTheGroupCommandUnderThePointerShowsItsHighlightedIcon) {
  const auto point = [](std::optional<std::int64_t> tag) { return [tag](FrontEndHarness& h) { h.point_at(tag); }; };
  const auto down = [](FrontEndHarness& h) { QTest::keyClick(&h.menu(), Qt::Key_Down); };
  const std::tuple<const char*, std::function<void(FrontEndHarness&)>, std::optional<std::int64_t>> steps[] = {
      {"onto eject all", point(kEjectAll), kEjectAll},   {"onto all eSATA", point(kAllESATA), kAllESATA},
      {"onto a disabled port", point(kUSBPort1), {}},    {"onto all USB", point(kAllUSB), kAllUSB},
      {"out of the menu", point(std::nullopt), {}},      {"onto eject all", point(kEjectAll), kEjectAll},
      {"the down key", down, kAllUSB},                    {"down past port 1, which has no volume", down, kUSBPort2},
      {"closing the menu", [](FrontEndHarness& h) { h.menu().hide(); }, {}},
  };
  const std::pair<std::int64_t, Lines> groups[] = {
      {kEjectAll, {"unit_1", "eject"}}, {kAllUSB, {"eject_USB"}}, {kAllESATA, {"eject_eSATA"}}};
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  for (const auto& [name, act, highlighted] : steps) {
    SCOPED_TRACE(name);
    act(h);
    EXPECT_EQ(h.model_menu().highlighted_item(), highlighted ? &h.item(*highlighted) : nullptr);
    for (const auto& [tag, images] : groups) {
      Lines expected = images;
      if (highlighted == tag) expected.back() += "-w";
      EXPECT_EQ(images_of(h.row(tag)), expected) << "row " << tag;
      EXPECT_EQ(h.row(tag).is_highlighted(), highlighted == tag) << "row " << tag;
    }
  }
  EXPECT_FALSE(h.model_menu().is_open());
}

// On the demo machine, eject all (chosen with the keyboard) unmounts Travel, the
// workspace refuses Archive; a click on Quit then ends the application.
TEST(EjectOnScreen, ProgressWindowAtOnceThenAlertsAsModalBoxesAndTheMenuBack) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  const double chosen_at = h.now();
  h.point_at(kEjectAll);
  QTest::keyClick(&h.menu(), Qt::Key_Return);
  EXPECT_FALSE(h.menu().isVisible());
  EXPECT_EQ(h.status_view().tray().contextMenu(), nullptr) << "no menu while the status item is disabled";
  EXPECT_FALSE(h.open_menu());
  const qt::WindowView* progress = h.progress();
  ASSERT_NE(progress, nullptr) << "the progress window was never shown";
  EXPECT_TRUE(progress->isVisible());
  EXPECT_EQ(progress->windowTitle(), "Vantrel Berthline Utility");
  const QLabel* label = progress->label_for(*h.delegate()._tf_Msg);
  const QProgressBar* bar = progress->bar_for(*h.delegate()._pgs_vol_eject);
  ASSERT_TRUE(label && bar);
  EXPECT_EQ(label->text(), "Ejecting volumes. Please wait...");
  EXPECT_EQ(std::pair(bar->minimum(), bar->maximum()), std::pair(0, 0)) << "a running busy indicator";
  EXPECT_TRUE(h.alerts().empty());

  ASSERT_TRUE(h.run_until_idle());
  EXPECT_EQ(h.unmounted(), Lines{"/Volumes/Travel"});
  ASSERT_EQ(h.alerts().size(), 2u);
  EXPECT_EQ(h.alerts()[0].shown, "Vantrel Berthline Utility: Failed to eject volume:Archive [Confirm] (window up)");
  EXPECT_EQ(h.alerts()[1].shown, "Vantrel Berthline Utility: Device eject failed. [Confirm] (window hidden)");
  EXPECT_GE(h.alerts()[0].at - chosen_at, 0.5) << "the eject waits half a second";
  EXPECT_FALSE(progress->isVisible());
  EXPECT_EQ(bar->maximum(), 1) << "the indicator stopped";
  EXPECT_EQ(h.status_view().tray().contextMenu(), &h.menu());
  ASSERT_TRUE(h.open_menu());
  EXPECT_FALSE(h.row(kUSBPort2).isEnabled()) << "the menu opens again with the new state";
  h.point_at(app::kQuitTag);
  QTest::mouseClick(&h.row(app::kQuitTag), Qt::LeftButton, {}, h.row(app::kQuitTag).rect().center());
  EXPECT_TRUE(h.application().is_terminated());
  EXPECT_FALSE(h.status_view().tray().isVisible());
}

}  // namespace
}  // namespace berth
