// berthctl's flash program in this process, to see the flash model: only the sectors
// that differ are programmed, and on a terminal the progress bar stays below the
// library's lines.
#include <gtest/gtest.h>

#include "cli/flash_program.h"
#include "lib/regctl/spi_flash.h"
#include "tests/regctl/regctl_bench.h"
#include "tests/support/temp_dir.h"

namespace berth {
namespace {

using testing::dock_controller;
using testing::pattern_bytes;
using testing::TempDir;

// A sector that differs is erased and gets exactly the words a whole program writes.
TEST(FlashProgram, OnlyChangedProgramsOnlyTheDifferingSectorsWithTheFilesWords) {
  TempDir dir;
  auto image = pattern_bytes(0x3000, 27);
  testing::write_bytes(dir / "flash.bin", image);
  testing::RegctlBench bench(dock_controller({{"flash", {{"image", (dir / "flash.bin").string()}, {"fill", "0x00"}}}}));
  image[0x1000] ^= 1;
  image.resize(0x2802);
  testing::write_bytes(dir / "changed.bin", image);
  ASSERT_EQ(cli::flash_program({"--file", (dir / "changed.bin").string(), "--only-changed"}), 0);
  // Sectors 1 and 2 (the file ends in it) and every erased-to-be sector after them.
  EXPECT_EQ(bench.flash().counts().erases, kFlashSectorCount - 1);
  EXPECT_EQ(bench.flash().counts().bytes_programmed, kFlashSectorSize + 0x804);
  image.resize(kFlashSize, 0xFF);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), bench.flash().contents().begin()));
  EXPECT_NE(bench.console().out().find("flash program: 127 of 128 sectors differ\n"), std::string::npos);
}

// What a terminal shows: every character of a line overwrites from the cursor, which
// a carriage return puts back at the line's start.
std::vector<std::string> on_screen(const std::string& written) {
  std::vector<std::string> lines{""};
  std::size_t column = 0;
  for (const char c : written) {
    if (c == '\n') lines.emplace_back(), column = 0;
    else if (c == '\r') column = 0;
    else if (column < lines.back().size()) lines.back()[column++] = c;
    else lines.back() += c, ++column;
  }
  return lines;
}

TEST(FlashProgress, OnATerminalTheBarStaysBelowTheLibrarysLines) {
  TempDir dir;
  testing::write_bytes(dir / "image.bin", pattern_bytes(0x2000, 26));
  testing::RegctlBench bench;
  bench.console().attach_terminal(Stream::err, 80);
  ASSERT_EQ(cli::flash_program({"--file", (dir / "image.bin").string()}), 0);
  const auto screen = on_screen(bench.console().err());
  ASSERT_EQ(screen.size(), 1u + 1 + kFlashSectorCount + (kFlashSectorCount - 2) + 1);
  // Every line but the bar is one of the library's, with nothing of the bar left in it.
  for (std::size_t i = 0; i + 2 < screen.size(); ++i) {
    const std::string& line = screen[i];
    const char* start = i == 0 ? "spi_flash_type = " : line[0] == 'D' ? "Doing program_whole" : "WARN: ";
    EXPECT_TRUE(line.starts_with(start)) << line;
    EXPECT_EQ(line.find_first_of("#]"), std::string::npos) << line;
  }
  EXPECT_EQ(screen[screen.size() - 2], "[" + std::string(60, '#') + "] 100%");
  EXPECT_EQ(screen.back(), "");
}

}  // namespace
}  // namespace berth
