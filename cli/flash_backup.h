#pragma once
// The flash as it was, saved before `flash program` erases anything: on a live machine
// always (next to the image unless --backup FILE names the file), on a simulated
// machine only when --backup asks for it.
#include <optional>
#include <string>

#include "cli/regctl_session.h"

namespace berth::cli {

// True when the backup is written, or when none is due; false, after one line, when
// the flash cannot be read or the file cannot be written: then nothing may be
// programmed. `chosen` is the --backup FILE, `image` the file to be programmed.
bool back_up_flash(ControllerSession& session, const std::optional<std::string>& chosen, const std::string& image,
                   bool real_hardware);

}  // namespace berth::cli
