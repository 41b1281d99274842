// Where the desktop program finds its resources, installed or in a build tree, and
// what the resources port gives from there.
#include <gtest/gtest.h>

#include "platform/desktop/desktop_resources.h"
#include "tests/support/temp_dir.h"

namespace berth::desktop {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& path) { testing::write_file(path, "x"); }

TEST(FindResources, PrefersTheInstalledDirectoryThenFallsBackInOrderToOnesThatHoldTheResources) {
  testing::TempDir dir;
  const fs::path program = dir.path() / "bin" / "berthline-utility";
  fs::create_directories(dir.path() / "share" / "berthline-utility");  // empty: not the resources
  fs::create_directories(dir.path() / "first");
  touch(dir.path() / "second" / kResourceMarker);
  const fs::path fallbacks[] = {dir.path() / "first", dir.path() / "second"};
  EXPECT_EQ(find_resource_directory(program, "../share/berthline-utility", fallbacks), dir.path() / "second");
  touch(dir.path() / "share" / "berthline-utility" / kResourceMarker);
  EXPECT_EQ(find_resource_directory(program, "../share/berthline-utility", fallbacks),
            dir.path() / "share" / "berthline-utility");
  EXPECT_EQ(find_resource_directory(dir.path() / "bin" / "x", "../elsewhere", {}), std::nullopt);
}

TEST(DesktopResources, TheProgramIsTheBundleAndResourcesAreFilesOfTheDirectoryOnly) {
  testing::TempDir dir;
  const fs::path res = dir.path() / "res";
  touch(res / "eject.png");
  touch(res / "Vantrel_loginitem.scpt");
  touch(dir.path() / "secret.png");
  fs::create_directories(res / "folder.png");
  DesktopResources resources("/usr/bin/berthline-utility", res);
  EXPECT_EQ(resources.bundle_path(), "/usr/bin/berthline-utility");
  EXPECT_EQ(resources.resource_directory(), res.string());
  EXPECT_EQ(resources.path_for_resource("eject", "png"), (res / "eject.png").string());
  EXPECT_EQ(resources.path_for_resource("Vantrel_loginitem", "scpt"), (res / "Vantrel_loginitem.scpt").string());
  for (const auto& [name, type] : {std::pair{"eject-w", "png"}, {"folder", "png"}, {"../secret", "png"}, {"..", ""}})
    EXPECT_EQ(resources.path_for_resource(name, type), std::nullopt) << name << "." << type;
  EXPECT_EQ(resources.localized_string("Confirm", "Confirm"), "Confirm");
  EXPECT_TRUE(current_program_path().is_absolute());
  EXPECT_EQ(current_program_path().filename(), "desktop_tests");
}

}  // namespace
}  // namespace berth::desktop
