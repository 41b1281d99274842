#pragma once
// One SPI transaction through the indirect window, and the bounded wait for the end
// of an erase or program. Library-internal.
#include <cstdint>

#include "lib/discovery/device_tables.h"
#include "platform/driver_port.h"

namespace berth {

struct SpiTransfer {
  std::uint32_t word;              // the command word
  std::uint32_t address = 0;       // sent as 0 by write enable, identity and status
  const std::uint32_t* data = nullptr;  // program operations: the data register value
  std::uint32_t* result = nullptr;      // read operations: the fetched data register
};

// Address, data, command, then the completion poll (at most kSpiCompletionPolls reads;
// a command that never completes fails with kIOReturnTimeout and a line saying so),
// then the fetch. The first failing register call ends it with its status.
kern_return_t spi_transaction(io_connect_t connect, sDevice* dev, const SpiTransfer& transfer);

// Reads the status until the write-in-progress bit is clear, at most kFlashBusyPolls
// times and with nothing between the reads; false, with a line saying so, when the
// flash is still busy then or a status read fails.
bool wait_9182_spi_flash_ready(io_connect_t connect, sDevice* dev);

}  // namespace berth
