#include "tools/sim_tool.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/posix/input_file.h"

namespace berth::tools {
namespace {

using nlohmann::json;

constexpr int kExitNoAnswer = 1;
constexpr int kExitBadUse = 2;
// The section comes from a machine file, which is at most this long.
constexpr std::size_t kMaxToolsFileBytes = 32 * 1024 * 1024;

int fail(const char* program, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", program, message.c_str());
  return kExitBadUse;
}

// What one tool run does: print `text`, then wait `sleep` seconds, or for ever.
struct Answer {
  std::string text;
  double sleep = 0;
  bool hang = false;
};

Answer answer_from(const json& value) {
  if (value.is_string()) return Answer{value.get<std::string>()};
  return Answer{value.value("text", std::string()), value.value("sleep", 0.0), value.value("hang", false)};
}

// The answer for this tool and these arguments, or null when the section has none.
const json* find_answer(const json& section, SimTool tool, std::string_view argument) {
  if (tool == SimTool::diskutil) {
    const auto it = section.find("diskutil_list");
    return it == section.end() ? nullptr : &*it;
  }
  const auto reports = section.find("reports");
  if (reports == section.end() || !reports->is_object()) return nullptr;
  const auto report = reports->find(std::string(argument));
  if (report == reports->end() || !report->is_object()) return nullptr;
  const auto answer = report->find(tool == SimTool::mervo_ltr ? "ltr" : "full");
  return answer == report->end() ? nullptr : &*answer;
}

void act(const Answer& answer) {
  std::fwrite(answer.text.data(), 1, answer.text.size(), stdout);
  std::fflush(stdout);
  if (answer.sleep > 0) std::this_thread::sleep_for(std::chrono::duration<double>(answer.sleep));
  while (answer.hang) ::pause();
}

}  // namespace

int run_sim_tool(SimTool tool, int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "tool";
  if (argc != 2) return fail(program, tool == SimTool::diskutil ? "usage: diskutil list" : "usage: tool DEVICE");
  if (tool == SimTool::diskutil && std::string_view(argv[1]) != "list")
    return fail(program, "only \"list\" is known on a simulated machine");
  const char* file = std::getenv(kToolsFileVariable);
  if (!file || !*file) return fail(program, std::string(kToolsFileVariable) + " names no tools file");
  std::string text;
  try {
    text = read_input_file(file, kMaxToolsFileBytes);
  } catch (const InputFileError& error) {
    return fail(program, std::string("the tools file ") + file + " " + error.what());
  }
  const json section = json::parse(text, nullptr, false);
  if (section.is_discarded() || !section.is_object())
    return fail(program, std::string("cannot read the tools file ") + file);
  const json* answer = find_answer(section, tool, argv[1]);
  if (!answer) return kExitNoAnswer;
  try {
    act(answer_from(*answer));
  } catch (const json::exception& error) {
    return fail(program, std::string("a malformed answer in the tools file: ") + error.what());
  }
  return 0;
}

}  // namespace berth::tools
