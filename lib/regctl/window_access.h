#pragma once
// The controller's indirect register window in BAR5: an index register that selects
// an indirect register and a data register that reads or writes it. Every write goes
// through __My_BAR5_ioWrite32, every read through My_BAR5_ioRead32. The window is one
// per controller: a protocol assumes nobody moves the index between its steps.
#include <cstdint>

#include "lib/discovery/device_tables.h"
#include "platform/driver_port.h"

namespace berth {

inline constexpr std::uint16_t M9182_BAR5_INDEX = 0xA8;
inline constexpr std::uint16_t M9182_BAR5_DATA = 0xAC;

// Writes the index register.
kern_return_t window_select(io_connect_t connect, sDevice* dev, std::uint32_t index);
// Selects index, then reads or writes the data register.
kern_return_t window_read(io_connect_t connect, sDevice* dev, std::uint32_t index, std::uint32_t* value);
kern_return_t window_write(io_connect_t connect, sDevice* dev, std::uint32_t index, std::uint32_t value);
// The data register of the index selected last.
kern_return_t window_read_data(io_connect_t connect, std::uint32_t* value);
kern_return_t window_write_data(io_connect_t connect, sDevice* dev, std::uint32_t value);

}  // namespace berth
