#pragma once
// The line berthctl --trace writes for every driver call, the same for every driver
// backend: "trace sel=8 in=0xa8,0x4 out= status=0x00000000" (a structure shows as its
// size in brackets).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/io_types.h"

namespace berth {

std::string driver_trace_line(std::uint32_t selector, std::span<const std::uint64_t> in, std::size_t struct_in,
                              std::span<const std::uint64_t> out, std::size_t struct_out, kern_return_t status);

}  // namespace berth
