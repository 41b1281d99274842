#pragma once
// Scalar types shared by the library and the platform ports. They mirror the
// 32-bit handles and status words of the operating system the utility was made for.
#include <cstdint>

namespace berth {

using io_object_t = std::uint32_t;   // registry entry or iterator handle; 0 is none
using kern_return_t = std::uint32_t; // 0 on success, an I/O Kit style code otherwise

inline constexpr kern_return_t kIOReturnSuccess = 0;
inline constexpr kern_return_t kIOReturnError = 0xE00002BC;
inline constexpr kern_return_t kIOReturnBadArgument = 0xE0000001;

}  // namespace berth
