// berthctl menu: starts the application headless, opens its status menu (which runs the
// refresh) and prints every item as the menu holds it.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/headless_app.h"
#include "app/status_menu_report.h"
#include "cli/commands.h"
#include "cli/regctl_session.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

// Resident memory of this process, in kB (0 where /proc does not say).
long resident_kb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
  return 0;
}

// --repeat N: opens the menu N times in all, for measurements, and says on standard
// error how resident memory went from the tenth of them to the last.
void open_repeatedly(app::HeadlessApp& headless, std::uint32_t times) {
  const std::uint32_t baseline_at = std::max<std::uint32_t>(times / 10, 1);
  long baseline = resident_kb();
  for (std::uint32_t opening = 1; opening <= times; ++opening) {
    if (opening > 1) headless.status_menu().close();
    headless.open_status_menu();
    if (opening == baseline_at) baseline = resident_kb();
  }
  write_err(format("menu: %u openings, resident %ld kB after %u, %ld kB after %u\n", times, baseline, baseline_at,
                   resident_kb(), times));
}

}  // namespace

std::optional<std::string> start_headless_app(CliContext& context, std::unique_ptr<app::HeadlessApp>& started) {
  context.machine->use_application_resources();
  started = std::make_unique<app::HeadlessApp>();
  if (!started->launched()) return started->error();
  return std::nullopt;
}

int cmd_menu(CliContext& context, std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  const auto repeat = take_option(args, "--repeat");
  expect_no_more(args);
  const std::uint32_t times = repeat ? parse_number(*repeat, 1000000, "--repeat") : 1;
  if (times == 0) throw UsageError{"--repeat needs at least one opening"};
  std::unique_ptr<app::HeadlessApp> headless;
  if (const auto error = start_headless_app(context, headless)) {
    write_err("berthctl: the application did not start: " + *error + "\n");
    return kExitFailed;
  }
  if (repeat) open_repeatedly(*headless, times);
  else headless->open_status_menu();
  if (as_json) print_json(app::status_menu_json(headless->status_menu()));
  else write_out(app::status_menu_text(headless->status_menu()));
  return kExitOk;
}

}  // namespace berth::cli
