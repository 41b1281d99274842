#pragma once
#include <string_view>
#include <vector>

namespace berth::cli {

// berthctl flash program --file FILE [--only-changed] [--service N] [--json]: programs
// the flash from FILE as the library's whole-flash programming does (with its lines and
// a progress display), or with --only-changed erases and programs only the sectors that
// differ, then reads back the sectors it wrote. 0 only when the flash holds the file's
// bytes (and 0xFF after its end) afterwards, 1 when the programming failed or was
// refused or the read-back differs (the message and the JSON's "flash_changed" say
// whether the flash was left untouched), 2 for bad arguments and for a file that is
// empty or larger than the flash (refused before anything is erased).
int flash_program(std::vector<std::string_view> args);

}  // namespace berth::cli
