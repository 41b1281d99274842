#include "platform/linux/linux_drive_tools.h"

#include <vector>

#include "platform/linux/disk_listing.h"
#include "platform/linux/unit_table.h"

namespace berth::linux_host {
namespace {

// A program that has already ended, having written `text`.
class EndedTask final : public Task {
 public:
  explicit EndedTask(std::string text) : text_(std::move(text)) {}
  bool is_running() override { return false; }
  bool wait_for_exit(double) override { return true; }
  void terminate() override {}
  std::string read_output() override { return text_; }

 private:
  std::string text_;
};

}  // namespace

std::optional<std::string> device_node_of(std::string_view argument) {
  if (!argument.starts_with("/dev/disk")) return std::string(argument);
  const auto unit = parse_bsd_name(argument);
  const auto kernel = unit ? kernel_name_of_unit(*unit) : std::nullopt;
  if (!kernel) return std::nullopt;
  return "/dev/" + *kernel;
}

std::unique_ptr<Task> LinuxDriveTools::launch(const std::string& path, std::span<const std::string> arguments) {
  if (path == disk_utility_ && arguments.size() == 1 && arguments[0] == "list")
    return std::make_unique<EndedTask>(whole_disk_listing(root_));
  std::vector<std::string> translated;
  for (const std::string& argument : arguments) {
    auto node = device_node_of(argument);
    if (!node) return nullptr;
    translated.push_back(std::move(*node));
  }
  return children_.launch(path, translated);
}

}  // namespace berth::linux_host
