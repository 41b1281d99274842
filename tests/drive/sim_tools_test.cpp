// The "tools" section of a machine file: what is accepted, where a bad value is
// reported, and the private file that hands the section to the tool processes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

TEST(ToolsSection, TheSectionGoesToAPrivateFileThatGoesWithTheMachine) {
  std::string path;
  {
    const json section = json::parse(R"({"diskutil_list": "/dev/disk4\n"})");
    SimTools tools(section, "/tools");
    path = tools.tools_file();
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(json::parse(text.str()), section);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace berth
