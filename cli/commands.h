#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_context.h"

namespace berth::app {
class HeadlessApp;
}

namespace berth::cli {

// Each command takes the arguments after its name.
int cmd_scan(CliContext& context, std::vector<std::string_view> args);
int cmd_ioreg_to_machine(CliContext& context, std::vector<std::string_view> args);
int cmd_sysfs_to_machine(CliContext& context, std::vector<std::string_view> args);
int cmd_menu(CliContext& context, std::vector<std::string_view> args);
int cmd_eject(CliContext& context, std::vector<std::string_view> args);
int cmd_flash(CliContext& context, std::vector<std::string_view> args);
int cmd_led(CliContext& context, std::vector<std::string_view> args);
int cmd_gpio(CliContext& context, std::vector<std::string_view> args);
int cmd_i2c(CliContext& context, std::vector<std::string_view> args);
int cmd_driver_scan(CliContext& context, std::vector<std::string_view> args);
int cmd_volumes(CliContext& context, std::vector<std::string_view> args);

// Starts the menu-bar application headless on the context's machine, with the
// application's own resources when the machine file names none; the reason when it
// did not start.
std::optional<std::string> start_headless_app(CliContext& context, std::unique_ptr<app::HeadlessApp>& started);

// Writes a machine file holding this registry (and the disks section, unless null) to
// the file `out`, or to standard output without one; the command's exit status.
int write_machine_file(const sim::RegistryModel& registry, const std::optional<std::string>& out,
                       const sim::json& disks = nullptr);
// The installed disks port's disks and volumes as a machine file's "disks" section.
sim::json installed_disks_section();

}  // namespace berth::cli
