#pragma once
// The real dumps of tests/ioreg/dumps/, edited as a user would, installed for a scan.
#include <string>
#include <string_view>

#include "tests/support/sim_fixture.h"

namespace berth::testing {

std::string dumps_dir();
std::string read_dump(std::string_view file_name);  // a file of dumps_dir()
SimFixture dump_machine(std::string_view dump);
// Replaces the value of `key` in the property block of the entry whose line holds
// `entry` (the edit fails the test when the entry or key is not there).
void set_property(std::string& dump, std::string_view entry, std::string_view key, std::string_view value);
// The Mac Pro 6,1 with the bridge above its FL1100 (BR13) made an Intel Thunderbolt
// device (8086:1547) with the "Tunnel Endpoint GUID" `guid` ("<785634120a003d00>").
std::string mac_pro6_with_dock(std::string_view guid);

}  // namespace berth::testing
