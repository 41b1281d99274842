#include "platform/sim/sim_tools.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace berth::sim {
namespace {

constexpr const char* kToolsFileVariable = "BERTH_SIM_TOOLS";
// Drive identification gives a tool seconds, not hours; a longer sleep is a mistake.
constexpr double kMaxSleepSeconds = 3600;

// An answer is the text a tool prints, or {"text", "sleep" seconds, "hang"}.
void check_answer(const json& answer, std::string_view place) {
  if (answer.is_string()) return;
  require_object(answer, place);
  if (const json* text = find(answer, "text")) require_string(*text, place_of(place, "text"));
  if (const json* hang = find(answer, "hang")) require_bool(*hang, place_of(place, "hang"));
  if (const json* sleep = find(answer, "sleep")) {
    const std::string sleep_place = place_of(place, "sleep");
    const auto seconds = sleep->is_number() ? sleep->get<double>() : -1.0;
    if (seconds < 0 || seconds > kMaxSleepSeconds)
      throw MachineFileError(sleep_place, "expected a number of seconds from 0 to " +
                                              std::to_string(static_cast<int>(kMaxSleepSeconds)) + ", found " +
                                              found_kind(*sleep));
  }
}

// A key as one step of a JSON pointer ("/dev/disk4" -> "~1dev~1disk4").
std::string pointer_step(std::string_view key) {
  std::string step;
  for (const char c : key) step += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
  return step;
}

void check_section(const json& section, std::string_view place) {
  require_object(section, place);
  if (const json* listing = find(section, "diskutil_list")) check_answer(*listing, place_of(place, "diskutil_list"));
  const json* reports = find(section, "reports");
  if (!reports) return;
  const std::string reports_place = place_of(place, "reports");
  for (const auto& [device, report] : require_object(*reports, reports_place).items()) {
    const std::string report_place = place_of(reports_place, pointer_step(device));
    require_object(report, report_place);
    for (const char* tool : {"ltr", "full"})
      if (const json* answer = find(report, tool)) check_answer(*answer, place_of(report_place, tool));
  }
}

bool write_all(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::pwrite(fd, text.data() + written, text.size() - written, static_cast<off_t>(written));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return ::ftruncate(fd, static_cast<off_t>(text.size())) == 0;
}

// Writes the section to an anonymous file that lives as long as a descriptor of it:
// nothing is left behind however the program ends. The descriptor is kept above the
// standard ones so that a child's copy of it is never one of them.
int write_tools_file(const json& section, std::string_view place) {
  const int created = ::memfd_create("berth-tools", MFD_CLOEXEC);
  const int fd = created < 0 ? -1 : ::fcntl(created, F_DUPFD_CLOEXEC, 10);
  if (created >= 0) ::close(created);
  if (fd < 0) throw MachineFileError(std::string(place), std::string("cannot make the tools file: ") + std::strerror(errno));
  if (!write_all(fd, section.dump())) {
    ::close(fd);
    throw MachineFileError(std::string(place), "cannot write the tools file");
  }
  return fd;
}

}  // namespace

SimTools::SimTools() : processes_(std::make_unique<PosixProcesses>()) {}

SimTools::SimTools(const json& section, std::string_view place) {
  check_section(section, place);
  tools_fd_ = write_tools_file(section, place);
  // Each child opens its own copy of the file through its descriptor, from the start.
  tools_file_ = "/dev/fd/" + std::to_string(PosixProcesses::kSharedFileDescriptor);
  processes_ = std::make_unique<PosixProcesses>(
      std::vector<std::string>{std::string(kToolsFileVariable) + "=" + tools_file_}, tools_fd_);
}

bool SimTools::rewrite(const json& section) { return tools_fd_ >= 0 && write_all(tools_fd_, section.dump()); }

SimTools::~SimTools() {
  if (tools_fd_ >= 0) ::close(tools_fd_);
}

std::filesystem::path SimTools::directory() { return BERTH_SIM_TOOLS_DIR; }

}  // namespace berth::sim
