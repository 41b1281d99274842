#include "lib/regctl/window_access.h"

#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"

namespace berth {

kern_return_t window_select(io_connect_t connect, sDevice* dev, std::uint32_t index) {
  return __My_BAR5_ioWrite32(connect, dev, M9182_BAR5_INDEX, index);
}

kern_return_t window_read_data(io_connect_t connect, std::uint32_t* value) {
  return My_BAR5_ioRead32(connect, M9182_BAR5_DATA, value);
}

kern_return_t window_write_data(io_connect_t connect, sDevice* dev, std::uint32_t value) {
  return __My_BAR5_ioWrite32(connect, dev, M9182_BAR5_DATA, value);
}

kern_return_t window_read(io_connect_t connect, sDevice* dev, std::uint32_t index, std::uint32_t* value) {
  const kern_return_t status = window_select(connect, dev, index);
  if (status != kIOReturnSuccess) return status;
  return window_read_data(connect, value);
}

kern_return_t window_write(io_connect_t connect, sDevice* dev, std::uint32_t index, std::uint32_t value) {
  const kern_return_t status = window_select(connect, dev, index);
  if (status != kIOReturnSuccess) return status;
  return window_write_data(connect, dev, value);
}

}  // namespace berth
