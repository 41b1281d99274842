// Start-up through the interface file, the status item, and the login-item call; and
// the toolkit-neutral model on its own: images and their sizes, attributed strings,
// menus with automatic enabling, timers, the bundle.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <tuple>

#include "app/model/application.h"
#include "app/model/application_main.h"
#include "app/model/bundle.h"
#include "app/model/png_size.h"
#include "app/model/responder.h"
#include "app/model/timer.h"
#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;
using Lines = std::vector<std::string>;

constexpr const char* kBundle = "/Applications/Vantrel Berthline Utility.app";

std::string text_of(const AppleEventDescriptor& descriptor) {
  return std::string(descriptor.bytes.begin(), descriptor.bytes.end());
}

TEST(Startup, AwakeFromNibHidesTheDockIconAndScalesTheDockNumbers) {
  AppHarness h(app_machine({}, json::array()));
  EXPECT_EQ(h.headless().application().activation_policy(), app::ActivationPolicy::accessory);
  for (const auto* unit : {&h.delegate()._img_unit1, &h.delegate()._img_unit6}) {
    ASSERT_TRUE(*unit);
    EXPECT_TRUE((*unit)->scales_when_resized());
    EXPECT_EQ((*unit)->size(), (app::Size{40 * 0.3499999940395355, 60 * 0.3499999940395355}));
  }
}

TEST(Startup, TheStatusItemShowsTheLogoAndToolTipAndOwnsTheMenu) {
  AppHarness h(app_machine({}, json::array()));
  const app::StatusItem& item = *h.delegate().statusItem;
  EXPECT_EQ(item.length(), -1.0);
  EXPECT_EQ(item.title(), "");
  EXPECT_TRUE(item.highlight_mode());
  EXPECT_EQ(item.tool_tip(), "Vantrel Berthline Utility");
  ASSERT_TRUE(item.image() && item.alternate_image());
  EXPECT_EQ(item.image()->name(), "logo-n.png");
  EXPECT_EQ(item.image()->size(), (app::Size{24.0, 18.0}));
  EXPECT_EQ(item.alternate_image()->size(), (app::Size{60 * 0.30000001192092896, 60 * 0.30000001192092896}));
  EXPECT_EQ(item.target(), &h.delegate());
  EXPECT_EQ(item.menu()->delegate(), &h.delegate());
  EXPECT_EQ(h.headless().application().system_status_bar().items().size(), 1u);
  EXPECT_EQ(item.menu()->number_of_items(), 2u) << "filled before it is first opened";
}

TEST(Startup, TheInterfaceFileConnectsTheProgressOutlets) {
  AppHarness h(app_machine({}, json::array()));
  const app::AppDelegate& d = h.delegate();
  ASSERT_TRUE(d._window_Msg && d._tf_Msg && d._pgs_vol_eject);
  EXPECT_FALSE(d._window_Msg->is_visible());
  EXPECT_TRUE(d._pgs_vol_eject->is_indeterminate());
  EXPECT_FALSE(d.window.expired());
  EXPECT_EQ(d._window_Msg->content().size(), 2u);
}

TEST(Startup, ALaunchWithoutItsInterfaceFileFailsAndSaysWhy) {
  auto sim = SimFixture::from_json(app_machine({}, json::array()));
  ResourceDir resources;
  resources.remove("MainMenu.json");
  sim.machine().resources().set_default_resource_directory(resources.path());
  app::Application application;
  EXPECT_EQ(app::NSApplicationMain(application, app::make_interface_object), 1);
  EXPECT_EQ(sim.log().lines(), (Lines{"Unable to load the main interface file: no interface file \"MainMenu\" among the resources"}));
}

TEST(InterfaceFile, BadFilesAreRefusedWithTheirReason) {
  app::Application application;
  const auto error = [](const char* text) { return app::load_interface_text(text, app::make_interface_object).error; };
  EXPECT_EQ(error("[]"), "the interface file is not a JSON object");
  EXPECT_EQ(error(R"({"objects": [{"id": "a", "class": "Gadget"}]})"), "object \"a\": unknown class \"Gadget\"");
  EXPECT_EQ(error(R"({"objects": [{"id": "d", "class": "AppDelegate"}, {"id": "w", "class": "Window", "frame": [0,0,1,1]}],
                     "outlets": [{"object": "d", "outlet": "_tf_Msg", "element": "w"}]})"),
            "outlet \"_tf_Msg\": object \"d\" has no such outlet");
  EXPECT_EQ(error(R"({"objects": [{"id": "w", "class": "Window", "frame": [0,0]}]})"),
            "window \"w\": \"frame\" must be four numbers");
  EXPECT_EQ(error(R"({"objects": [{"id": "x", "class": "Window", "frame": [0,0,1,1]}, {"id": "x", "class": "Window", "frame": [0,0,1,1]}]})"),
            "object: id \"x\" is used twice");
}

TEST(LoginItem, TheHandlerIsCalledWithASubroutineEventToThisProcess) {
  AppHarness h(app_machine({}, json::array()));
  const auto& runs = h.sim().machine().script_runner().runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].script_path, (h.resource_path() / "Vantrel_loginitem.scpt").string());
  const AppleEvent& event = runs[0].event;
  EXPECT_EQ(std::tuple(event.event_class, event.event_id, event.target.type, event.return_id, event.transaction_id),
            std::tuple(0x61736372u, 0x70736272u, 0x70736E20u, -1, 0));
  std::uint32_t psn[2] = {0, 0};
  ASSERT_EQ(event.target.bytes.size(), sizeof psn);
  std::memcpy(psn, event.target.bytes.data(), sizeof psn);
  EXPECT_EQ(psn[0], 0u);
  EXPECT_EQ(psn[1], 2u);
  const AppleEventDescriptor* name = event.parameter(0x736E616D);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(text_of(*name), "add_vantrel_to_loginitems");
  const AppleEventDescriptor* direct = event.parameter(0x2D2D2D2D);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(direct->type, kTypeAEList);
  ASSERT_EQ(direct->items.size(), 1u);
  EXPECT_EQ(text_of(direct->items[0]), kBundle);
  EXPECT_EQ(h.sim().machine().script_runner().scripts_held(), 0u);
  EXPECT_TRUE(h.sim().log().lines().empty());
}

TEST(LoginItem, ACopyOnAMountedVolumeRegistersNothingAndSaysNothing) {
  const json bundle{{"bundle", {{"path", "/Volumes/Berthline/Vantrel Berthline Utility.app"},
                                {"resource_paths", {{"Vantrel_loginitem.scpt",
                                                     "/Volumes/Berthline/Vantrel Berthline Utility.app/Contents/"
                                                     "Resources/Vantrel_loginitem.scpt"}}}}}};
  AppHarness h(app_machine({}, json::array(), bundle));
  EXPECT_TRUE(h.sim().machine().script_runner().loads().empty());
  EXPECT_TRUE(h.sim().log().lines().empty());
}

TEST(LoginItem, AMissingOrUnloadableScriptIsSilent) {
  AppHarness missing(app_machine({}, json::array(), json{{"bundle", {{"resource_paths", {{"Vantrel_loginitem.scpt", nullptr}}}}}}));
  EXPECT_TRUE(missing.sim().machine().script_runner().loads().empty());
  AppHarness unloadable(app_machine({}, json::array(), json{{"script_runner", {{"load", "none"}}}}));
  EXPECT_EQ(unloadable.sim().machine().script_runner().loads().size(), 1u);
  EXPECT_TRUE(unloadable.sim().machine().script_runner().runs().empty());
  EXPECT_TRUE(unloadable.sim().log().lines().empty());
}

TEST(LoginItem, LoadAndRunErrorsAreLoggedAndTheApplicationRunsOn) {
  AppHarness load_errors(app_machine(
      {}, json::array(), json{{"script_runner", {{"load", "errors"}, {"load_errors", "{NSAppleScriptErrorNumber = -43}"}}}}));
  const std::string path = (load_errors.resource_path() / "Vantrel_loginitem.scpt").string();
  EXPECT_EQ(load_errors.sim().log().lines(),
            (Lines{"error creating applescript:<NSAppleScript: " + path + "> errors:{NSAppleScriptErrorNumber = -43}"}));
  EXPECT_TRUE(load_errors.sim().machine().script_runner().runs().empty());

  AppHarness run_fails(app_machine(
      {}, json::array(), json{{"script_runner", {{"execute", "fail"}, {"execute_errors", "{NSAppleScriptErrorNumber = -1708}"}}}}));
  EXPECT_EQ(run_fails.sim().log().lines(), (Lines{"error executing applescript: errors:{NSAppleScriptErrorNumber = -1708}"}));
  EXPECT_EQ(run_fails.open_menu_lines().size(), 2u);
  EXPECT_EQ(run_fails.sim().machine().script_runner().scripts_held(), 0u);
}

TEST(Actions, Func1LogsItsOwnNameAndUnknownSelectorsAreNotPerformed) {
  AppHarness h(app_machine({}, json::array()));
  EXPECT_TRUE(h.headless().application().send_action("ibac_func1:", nullptr));
  EXPECT_EQ(h.sim().log().lines(), (Lines{"-[AppDelegate ibac_func1:]:"}));
  EXPECT_FALSE(h.headless().application().send_action("ibac_func2:", nullptr));
}

TEST(PngSize, ReadsTheIHDRAndRefusesWhatIsNoPNG) {
  std::array<unsigned char, 24> header{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13,
                                       'I', 'H', 'D', 'R', 0, 0, 0x01, 0x02, 0, 0, 0, 0x30};
  EXPECT_EQ(app::png_pixel_size(header), (app::Size{258, 48}));
  EXPECT_FALSE(app::png_pixel_size(std::span(header).first(23)));
  header[12] = 'X';
  EXPECT_FALSE(app::png_pixel_size(header));
  header[12] = 'I';
  header[1] = 'J';
  EXPECT_FALSE(app::png_pixel_size(header));
  EXPECT_FALSE(app::png_file_pixel_size("/nonexistent/image.png"));
}

TEST(ImageNamed, FindsPNGsByNameWithOrWithoutExtensionAndGivesANewImageEachTime) {
  auto sim = SimFixture::from_json("{}");
  ResourceDir resources;
  resources.write_png("wide.png", 300, 20);
  sim.machine().resources().set_default_resource_directory(resources.path());
  const auto first = app::Image::named("wide");
  const auto second = app::Image::named("wide.png");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->natural_size(), (app::Size{300, 20}));
  EXPECT_EQ(second->name(), "wide.png");
  first->set_size({1, 1});
  EXPECT_EQ(app::Image::named("wide")->size(), (app::Size{300, 20})) << "no shared, cached image";
  EXPECT_FALSE(app::Image::named("absent"));
  EXPECT_FALSE(app::Image::named("MainMenu.json")) << "not a picture";
}

TEST(AttributedStrings, AppendingCoalescesEqualTextRunsAndKeepsAttachments) {
  app::AttributedString blanks("   ");
  blanks.add_font_attribute(14.0);
  blanks.append(blanks);
  ASSERT_EQ(blanks.runs().size(), 1u);
  EXPECT_EQ(std::get<app::TextRun>(blanks.runs()[0]).text, "      ");
  app::AttributedString raised(" x ");
  raised.add_font_attribute(14.0);
  raised.add_baseline_offset_attribute(5.0);
  blanks.append(raised);
  blanks.append(app::AttributedString::with_attachment(nullptr));
  EXPECT_EQ(blanks.runs().size(), 3u) << "a different baseline starts a new run";
  EXPECT_EQ(blanks.length(), 10u);
  EXPECT_EQ(blanks.string(), "       x \xEF\xBF\xBC");
}

class Recorder final : public app::InterfaceObject, public app::Responder {
 public:
  bool set_outlet(std::string_view, const app::InterfaceElement&) override { return false; }
  bool perform_action(std::string_view selector, app::MenuItem* sender) override {
    performed.emplace_back(selector);
    sender->menu()->remove_all_items();  // the action may rebuild the very menu
    return true;
  }
  std::vector<std::string> performed;
};

TEST(Menus, OnlyItemsWithAnActionAreEnabledAndChosen) {
  app::Application application;
  Recorder delegate;
  application.set_delegate(&delegate);
  app::Menu menu;
  auto plain = app::MenuItem::create("plain", "", "");
  auto acting = app::MenuItem::create("acting", "doIt:", "");
  menu.add_item(plain);
  menu.add_item(app::MenuItem::separator_item());
  menu.add_item(acting);
  EXPECT_FALSE(plain->is_enabled());
  EXPECT_FALSE(menu.items()[1]->is_enabled());
  EXPECT_FALSE(menu.choose(*plain));
  app::Menu other;
  EXPECT_FALSE(other.choose(*acting)) << "an item of another menu";
  EXPECT_TRUE(menu.choose(*acting));
  EXPECT_EQ(delegate.performed, std::vector<std::string>{"doIt:"});
  EXPECT_EQ(menu.number_of_items(), 0u);
  EXPECT_EQ(acting->menu(), nullptr);
}

TEST(Timers, AOneShotTimerIsInvalidOnceFiredAndAnInvalidatedOneNeverFires) {
  auto sim = SimFixture::from_json("{}");
  int fired = 0;
  auto once = app::Timer::scheduled(0.5, [&](app::Timer& timer) { fired += timer.is_valid() ? 100 : 1; }, 42, false);
  auto cancelled = app::Timer::scheduled(0.5, [&](app::Timer&) { fired += 1000; }, {}, false);
  cancelled->invalidate();
  sim.machine().run_loop().advance(1.0);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(once->is_valid());
  EXPECT_EQ(std::any_cast<int>(once->user_info()), 42);
}

TEST(MainBundle, LocalizedStringsFallBackToTheValueThenTheKey) {
  auto sim = SimFixture::from_json(R"({"bundle": {"path": "/Applications/X.app", "strings": {"Confirm": "OK"}}})");
  const app::Bundle bundle = app::Bundle::main_bundle();
  EXPECT_EQ(bundle.bundle_path(), "/Applications/X.app");
  EXPECT_EQ(bundle.localized_string("Confirm", ""), "OK");
  EXPECT_EQ(bundle.localized_string("Cancel", ""), "Cancel");
  EXPECT_EQ(bundle.localized_string("Cancel", "Abbrechen"), "Abbrechen");
  EXPECT_EQ(bundle.localized_string("", ""), "");
}

}  // namespace
}  // namespace berth
