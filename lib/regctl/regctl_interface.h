#pragma once
// VantrelRegCtlClientInterface: one wrapper per selector of the register-control
// driver. Each packs its arguments as the selector's scalars or structures, calls the
// driver synchronously, stores the low 32 bits of each output scalar through the
// caller's pointers (whatever the status; they mean something only on success) and
// returns the driver's status unchanged.
#include <cstdint>

#include "lib/discovery/device_tables.h"
#include "platform/driver_port.h"

namespace berth {

kern_return_t MyOpenUserClient(io_connect_t connect);
kern_return_t MyCloseUserClient(io_connect_t connect);
kern_return_t MyScalarIStructureI(io_connect_t connect, std::uint32_t scalar, std::uint64_t struct_size,
                                  const void* structure);
kern_return_t MyScalarIStructureO(io_connect_t connect, std::uint32_t scalar1, std::uint32_t scalar2,
                                  std::uint64_t* struct_size, void* structure);
kern_return_t MyScalarIScalarO(io_connect_t connect, std::uint32_t scalar1, std::uint32_t scalar2,
                               std::uint32_t* result);
kern_return_t MyStructureIStructureO(io_connect_t connect, std::uint64_t in_size, const void* in,
                                     std::uint64_t* out_size, void* out);
kern_return_t MyStop(io_connect_t connect, std::uint32_t scalar1, std::uint32_t scalar2, std::uint32_t* result);
kern_return_t My_BAR5_ioRead32(io_connect_t connect, std::uint16_t offset, std::uint32_t* value);
// The record is not read; __My_BAR5_ioWrite32 is the write the register protocols use.
kern_return_t My_BAR5_ioWrite32(io_connect_t connect, sDevice* dev, std::uint16_t offset, std::uint32_t value);
kern_return_t My_get_bus_dev_fun_num(io_connect_t connect, std::uint32_t* bus, std::uint32_t* dev, std::uint32_t* fun);
kern_return_t My_get_vid_did(io_connect_t connect, std::uint32_t* vid, std::uint32_t* did);
kern_return_t My_get_sub_vid_did(io_connect_t connect, std::uint32_t* sub_vid, std::uint32_t* sub_did);
// A wait inside the driver, in microseconds.
kern_return_t My_IODelay(io_connect_t connect, std::uint32_t delay);
kern_return_t gui_VantrelRAID_dbg(io_connect_t connect, void* unused, std::uint16_t value1, std::uint32_t value2);
kern_return_t gui_VantrelRAID_gui_cmd(io_connect_t connect, std::uint64_t in_size, const void* in,
                                      std::uint64_t* out_size, void* out);

}  // namespace berth
