// Where the desktop program finds its resources, installed or in a build tree, and
// what the resources port gives from there.
#include <fstream>

#include <gtest/gtest.h>

#include "platform/desktop/desktop_resources.h"
#include "tests/desktop/temp_dir.h"

namespace berth::desktop {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

void touch(const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "x";
}

TEST(FindResources, PrefersTheDirectoryBesideTheInstalledProgram) {
  TempDir dir;
  touch(dir.path() / "share" / "berthline-utility" / kResourceMarker);
  touch(dir.path() / "source" / kResourceMarker);
  const fs::path fallbacks[] = {dir.path() / "source"};
  EXPECT_EQ(find_resource_directory(dir.path() / "bin" / "berthline-utility", "../share/berthline-utility", fallbacks),
            dir.path() / "share" / "berthline-utility");
}

TEST(FindResources, FallsBackInOrderToDirectoriesThatHoldTheResources) {
  TempDir dir;
  fs::create_directories(dir.path() / "share" / "berthline-utility");  // empty: not the resources
  fs::create_directories(dir.path() / "first");
  touch(dir.path() / "second" / kResourceMarker);
  const fs::path fallbacks[] = {dir.path() / "first", dir.path() / "second"};
  EXPECT_EQ(find_resource_directory(dir.path() / "bin" / "berthline-utility", "../share/berthline-utility", fallbacks),
            dir.path() / "second");
  EXPECT_EQ(find_resource_directory(dir.path() / "bin" / "x", "../share/berthline-utility", {}), std::nullopt);
}

TEST(DesktopResources, TheProgramIsTheBundleAndResourcesAreFilesOfTheDirectory) {
  TempDir dir;
  touch(dir.path() / "eject.png");
  touch(dir.path() / "Vantrel_loginitem.scpt");
  fs::create_directories(dir.path() / "folder.png");
  DesktopResources resources("/usr/bin/berthline-utility", dir.path());
  EXPECT_EQ(resources.bundle_path(), "/usr/bin/berthline-utility");
  EXPECT_EQ(resources.resource_directory(), dir.path().string());
  EXPECT_EQ(resources.path_for_resource("eject", "png"), (dir.path() / "eject.png").string());
  EXPECT_EQ(resources.path_for_resource("Vantrel_loginitem", "scpt"), (dir.path() / "Vantrel_loginitem.scpt").string());
  EXPECT_EQ(resources.path_for_resource("eject-w", "png"), std::nullopt);
  EXPECT_EQ(resources.path_for_resource("folder", "png"), std::nullopt);
  EXPECT_EQ(resources.localized_string("Confirm", "Confirm"), "Confirm");
}

TEST(DesktopResources, ANameNeverLeadsOutOfTheDirectory) {
  TempDir dir;
  touch(dir.path() / "secret.png");
  fs::create_directories(dir.path() / "res");
  DesktopResources resources("/usr/bin/berthline-utility", dir.path() / "res");
  EXPECT_EQ(resources.path_for_resource("../secret", "png"), std::nullopt);
  EXPECT_EQ(resources.path_for_resource("..", ""), std::nullopt);
}

TEST(DesktopResources, KnowsThisProgramsPath) {
  const fs::path program = current_program_path();
  EXPECT_TRUE(program.is_absolute());
  EXPECT_EQ(program.filename(), "desktop_tests");
}

}  // namespace
}  // namespace berth::desktop
