#pragma once
#include <string_view>
#include <vector>

namespace berth::cli {

// berthctl flash program --file FILE [--only-changed] [--backup FILE] [--service N]
// [--json]: saves the flash as it is first where due (flash_backup.h), then programs it
// from FILE as the library's whole-flash programming does (with its lines and a
// progress display), or with --only-changed erases and programs only the sectors that
// differ, then reads back the sectors it wrote. 0 only when the flash holds the file's
// bytes (and 0xFF after its end) afterwards, 1 when the backup, the programming or the
// read-back failed or was refused (the message and the JSON's "flash_changed" say
// whether the flash was left untouched), 2 for bad arguments and for a file that is
// empty or larger than the flash (refused before anything is erased).
int flash_program(std::vector<std::string_view> args, bool real_hardware);

}  // namespace berth::cli
