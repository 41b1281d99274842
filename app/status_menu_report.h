#pragma once
// The status menu written out item by item, for a person (one line each) or as JSON
// (title, tag, enabling, action, tool tip and the runs of attributed titles). berthctl
// menu and the desktop program without a display print the same report.
#include <string>

#include <nlohmann/json.hpp>

#include "app/model/menu.h"

namespace berth::app {

std::string status_menu_text(const Menu& menu);
nlohmann::ordered_json status_menu_json(const Menu& menu);

}  // namespace berth::app
