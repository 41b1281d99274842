// Start-up through the interface file, the status item and the login-item call; and
// the toolkit-neutral model's images and menus on their own.
#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "app/model/application.h"
#include "app/model/application_main.h"
#include "app/model/png_size.h"
#include "app/model/responder.h"
#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;

std::string text_of(const AppleEventDescriptor* descriptor) {
  return descriptor ? std::string(descriptor->bytes.begin(), descriptor->bytes.end()) : "(none)";
}

TEST(Startup, LaunchHidesTheDockIconLeavesTheStatusItemAndProgressOutletsReadyAndTakesItsActions) {
  AppHarness h(app_machine({}));
  const app::AppDelegate& d = h.delegate();
  EXPECT_EQ(h.headless().application().activation_policy(), app::ActivationPolicy::accessory);
  for (const auto* unit : {&d._img_unit1, &d._img_unit6}) {
    ASSERT_TRUE(*unit);
    EXPECT_TRUE((*unit)->scales_when_resized());
    EXPECT_EQ((*unit)->size(), (app::Size{40 * 0.3499999940395355, 60 * 0.3499999940395355}));
  }
  EXPECT_EQ(app::Image::named("unit_1")->size(), (app::Size{40, 60})) << "each load is a new image, not a shared one";
  const app::StatusItem& item = *d.statusItem;
  EXPECT_EQ(std::tuple(item.length(), item.title(), item.highlight_mode(), item.tool_tip()),
            std::tuple(-1.0, "", true, "Vantrel Berthline Utility"));
  ASSERT_TRUE(item.image() && item.alternate_image());
  EXPECT_EQ(std::tuple(item.image()->name(), item.image()->size(), item.alternate_image()->size()),
            std::tuple("logo-n.png", app::Size{24.0, 18.0}, app::Size{60 * 0.30000001192092896, 60 * 0.30000001192092896}));
  EXPECT_TRUE(item.target() == &d && item.menu()->delegate() == &d);
  EXPECT_EQ(h.headless().application().system_status_bar().items().size(), 1u);
  EXPECT_EQ(item.menu()->number_of_items(), 2u) << "filled before it is first opened";
  ASSERT_TRUE(d._window_Msg && d._tf_Msg && d._pgs_vol_eject && !d.window.expired());
  EXPECT_EQ(std::tuple(d._window_Msg->is_visible(), d._pgs_vol_eject->is_indeterminate(), d._window_Msg->content().size()),
            std::tuple(false, true, 2u));
  EXPECT_TRUE(h.headless().application().send_action("ibac_func1:", nullptr));
  EXPECT_EQ(h.sim().log().lines(), (Lines{"-[AppDelegate ibac_func1:]:"})) << "it logs its own name";
  EXPECT_FALSE(h.headless().application().send_action("ibac_func2:", nullptr));
}

TEST(Startup, ALaunchWithoutItsInterfaceFileFailsAndSaysWhy) {
  auto sim = SimFixture::from_json(app_machine({}));
  ResourceDir resources;
  resources.remove("MainMenu.json");
  sim.machine().resources().set_default_resource_directory(resources.path());
  app::Application application;
  EXPECT_EQ(app::NSApplicationMain(application, app::make_interface_object), 1);
  EXPECT_EQ(sim.log().lines(), (Lines{"Unable to load the main interface file: no interface file \"MainMenu\" among the resources"}));
}

TEST(InterfaceFile, BadFilesAreRefusedWithTheirReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"[]", "the interface file is not a JSON object"},
      {R"({"objects": [{"id": "a", "class": "Gadget"}]})", "object \"a\": unknown class \"Gadget\""},
      {R"({"objects": [{"id": "d", "class": "AppDelegate"}, {"id": "w", "class": "Window", "frame": [0,0,1,1]}],
           "outlets": [{"object": "d", "outlet": "_tf_Msg", "element": "w"}]})",
       "outlet \"_tf_Msg\": object \"d\" has no such outlet"},
      {R"({"objects": [{"id": "w", "class": "Window", "frame": [0,0]}]})", "window \"w\": \"frame\" must be four numbers"},
      {R"({"objects": [{"id": "x", "class": "Window", "frame": [0,0,1,1]}, {"id": "x", "class": "Window", "frame": [0,0,1,1]}]})",
       "object: id \"x\" is used twice"}};
  app::Application application;
  for (const auto& [text, error] : cases) EXPECT_EQ(app::load_interface_text(text, app::make_interface_object).error, error);
}

TEST(LoginItem, TheHandlerIsCalledWithASubroutineEventToThisProcess) {
  AppHarness h(app_machine({}));
  const auto& runs = h.sim().machine().script_runner().runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].script_path, (h.resource_path() / "Vantrel_loginitem.scpt").string());
  const AppleEvent& event = runs[0].event;
  EXPECT_EQ(std::tuple(event.event_class, event.event_id, event.target.type, event.return_id, event.transaction_id),
            std::tuple(0x61736372u, 0x70736272u, 0x70736E20u, -1, 0));
  const std::uint32_t psn[2] = {0, 2};  // high part, low part: the current process
  EXPECT_EQ(event.target.bytes, std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(psn),
                                                          reinterpret_cast<const std::uint8_t*>(psn) + sizeof psn));
  EXPECT_EQ(text_of(event.parameter(0x736E616D)), "add_vantrel_to_loginitems");
  const AppleEventDescriptor* direct = event.parameter(0x2D2D2D2D);
  ASSERT_TRUE(direct && direct->type == kTypeAEList && direct->items.size() == 1);
  EXPECT_EQ(text_of(&direct->items[0]), "/Applications/Vantrel Berthline Utility.app");
}

// Every way the registration ends: silent, or one line in the log; the script is given
// back and the application runs on in each case. "RES" stands for the resource directory.
TEST(LoginItem, StopsSilentlyOrWithOneLogLineAndTheApplicationRunsOn) {
  const std::string on_volume = "/Volumes/Berthline/Vantrel Berthline Utility.app";
  const struct {
    const char* name;
    json extra;
    std::size_t loads, runs;
    Lines log;
  } cases[] = {
      {"a run that succeeds", json::object(), 1, 1, {}},
      {"a copy on a mounted volume",
       {{"bundle", {{"path", on_volume}, {"resource_paths", {{"Vantrel_loginitem.scpt", on_volume + "/Contents/Resources/x.scpt"}}}}}},
       0, 0, {}},
      {"no script among the resources", {{"bundle", {{"resource_paths", {{"Vantrel_loginitem.scpt", nullptr}}}}}}, 0, 0, {}},
      {"a script that does not load", {{"script_runner", {{"load", "none"}}}}, 1, 0, {}},
      {"a script that loads with errors",
       {{"script_runner", {{"load", "errors"}, {"load_errors", "{NSAppleScriptErrorNumber = -43}"}}}}, 1, 0,
       {"error creating applescript:<NSAppleScript: RES/Vantrel_loginitem.scpt> errors:{NSAppleScriptErrorNumber = -43}"}},
      {"a run that fails", {{"script_runner", {{"execute", "fail"}, {"execute_errors", "{NSAppleScriptErrorNumber = -1708}"}}}},
       1, 1, {"error executing applescript: errors:{NSAppleScriptErrorNumber = -1708}"}},
  };
  for (const auto& c : cases) {
    AppHarness h(app_machine({}, json::array(), c.extra));
    const auto& runner = h.sim().machine().script_runner();
    EXPECT_EQ(std::tuple(runner.loads().size(), runner.runs().size(), runner.scripts_held()), std::tuple(c.loads, c.runs, 0u))
        << c.name;
    Lines log = h.sim().log().lines();
    for (std::string& line : log)
      if (const auto at = line.find(h.resource_path().string()); at != std::string::npos)
        line.replace(at, h.resource_path().string().size(), "RES");
    EXPECT_EQ(log, c.log) << c.name;
    EXPECT_EQ(h.open_menu_lines().size(), 2u) << c.name;
  }
}

TEST(PngSize, ReadsTheIHDRAndRefusesWhatIsNoPNG) {
  const std::array<unsigned char, 24> header{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13,
                                             'I', 'H', 'D', 'R', 0, 0, 0x01, 0x02, 0, 0, 0, 0x30};
  EXPECT_EQ(app::png_pixel_size(header), (app::Size{258, 48}));
  EXPECT_FALSE(app::png_pixel_size(std::span(header).first(23)));
  for (const std::size_t broken : {1, 12}) {  // the signature, the chunk name
    auto bad = header;
    bad[broken] = 'X';
    EXPECT_FALSE(app::png_pixel_size(bad)) << broken;
  }
  EXPECT_FALSE(app::png_file_pixel_size("/nonexistent/image.png"));
}

// Its action empties the very menu the item was chosen from, as a rebuild does.
struct Emptier final : app::InterfaceObject, app::Responder {
  bool set_outlet(std::string_view, const app::InterfaceElement&) override { return false; }
  bool perform_action(std::string_view, app::MenuItem* sender) override {
    sender->menu()->remove_all_items();
    return true;
  }
};

TEST(Menus, OnlyItemsWithAnActionAreEnabledAndChosenAndAnActionMayEmptyTheMenu) {
  app::Application application;
  Emptier delegate;
  application.set_delegate(&delegate);
  app::Menu menu, other;
  auto plain = app::MenuItem::create("plain", "", ""), acting = app::MenuItem::create("acting", "doIt:", "");
  for (const auto& item : {plain, app::MenuItem::separator_item(), acting}) menu.add_item(item);
  EXPECT_FALSE(plain->is_enabled() || menu.items()[1]->is_enabled() || menu.choose(*plain) || other.choose(*acting));
  EXPECT_TRUE(menu.choose(*acting));
  EXPECT_EQ(std::tuple(menu.number_of_items(), acting->menu()), std::tuple(0u, nullptr));
}

}  // namespace
}  // namespace berth
