// berthctl menu: starts the application headless, opens its status menu (which runs the
// refresh) and prints every item as the menu holds it.
#include "app/headless_app.h"
#include "app/status_menu_report.h"
#include "cli/commands.h"
#include "platform/services.h"

namespace berth::cli {

std::optional<std::string> start_headless_app(CliContext& context, std::unique_ptr<app::HeadlessApp>& started) {
  context.machine->use_application_resources();
  started = std::make_unique<app::HeadlessApp>();
  if (!started->launched()) return started->error();
  return std::nullopt;
}

int cmd_menu(CliContext& context, std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  expect_no_more(args);
  std::unique_ptr<app::HeadlessApp> headless;
  if (const auto error = start_headless_app(context, headless)) {
    write_err("berthctl: the application did not start: " + *error + "\n");
    return kExitFailed;
  }
  headless->open_status_menu();
  if (as_json) print_json(app::status_menu_json(headless->status_menu()));
  else write_out(app::status_menu_text(headless->status_menu()));
  return kExitOk;
}

}  // namespace berth::cli
