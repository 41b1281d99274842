// The "tools" section of a machine file: what is accepted, where a bad value is
// reported, and the nameless file that hands the section to the tool processes.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/sim_machine.h"

namespace berth {
namespace {

using sim::json;
using sim::MachineFileError;
using sim::SimTools;

std::string error_place(const std::string& tools) {
  try {
    SimTools loaded(json::parse(tools), "/tools");
  } catch (const MachineFileError& error) {
    return error.place();
  }
  return "no error";
}

TEST(ToolsSection, BadValuesAreReportedWithTheirPlace) {
  EXPECT_EQ(error_place(R"([])"), "/tools");
  EXPECT_EQ(error_place(R"({"diskutil_list": 3})"), "/tools/diskutil_list");
  EXPECT_EQ(error_place(R"({"diskutil_list": {"sleep": -1}})"), "/tools/diskutil_list/sleep");
  EXPECT_EQ(error_place(R"({"diskutil_list": {"sleep": "long"}})"), "/tools/diskutil_list/sleep");
  EXPECT_EQ(error_place(R"({"reports": {"/dev/disk4": {"ltr": {"hang": 1}}}})"), "/tools/reports/~1dev~1disk4/ltr/hang");
  EXPECT_EQ(error_place(R"({"reports": {"/dev/disk4": {"full": {"text": 1}}}})"), "/tools/reports/~1dev~1disk4/full/text");
  EXPECT_EQ(error_place(R"({"reports": {"/dev/disk4": "text"}})"), "/tools/reports/~1dev~1disk4");
  EXPECT_EQ(error_place(R"({"reports": []})"), "/tools/reports");
  EXPECT_EQ(error_place(R"({"diskutil_list": {"text": "x", "sleep": 0.5, "hang": false}, "reports": {}})"), "no error");
}

// A file with a name in the temporary directory would outlive a killed program.
TEST(ToolsSection, EveryChildReadsTheSectionFromAFileWithoutAName) {
  const json section = json::parse(R"({"diskutil_list": "/dev/disk4\n"})");
  SimTools tools(section, "/tools");
  const std::vector<std::string> arguments{"-c", "cat \"$BERTH_SIM_TOOLS\""};
  for (int child = 0; child < 2; ++child) {
    const auto task = tools.processes().launch("/bin/sh", arguments);
    ASSERT_TRUE(task && task->wait_for_exit(10));
    EXPECT_EQ(json::parse(task->read_output()), section);
  }
  EXPECT_FALSE(tools.tools_file().starts_with(std::filesystem::temp_directory_path().string()));
}

}  // namespace
}  // namespace berth
