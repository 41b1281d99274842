// The toolkit-neutral model on its own: images and their sizes, attributed strings,
// menus with automatic enabling, timers, the bundle.
#include <gtest/gtest.h>

#include <array>

#include "app/model/application.h"
#include "app/model/bundle.h"
#include "app/model/png_size.h"
#include "app/model/responder.h"
#include "app/model/timer.h"
#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;

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
