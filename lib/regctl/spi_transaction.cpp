#include "lib/regctl/spi_transaction.h"

#include "lib/regctl/spi_flash.h"
#include "lib/regctl/window_access.h"
#include "platform/services.h"

namespace berth {
namespace {

constexpr std::uint32_t kStartBit = 0x10;

// The controller answers a running command with the word less its start bit and a finished
// one with anything else. The word read back exactly as written, start bit and all, is no
// answer: a register that merely holds what it was given (a stalled controller, or a plain
// file standing in for BAR5) has not taken the command, and treating it as done would hand
// the caller stale data as a result.
kern_return_t wait_for_completion(io_connect_t connect, std::uint32_t word) {
  const std::uint32_t running = word & ~kStartBit;
  for (std::uint32_t poll = 0; poll < kSpiCompletionPolls; ++poll) {
    std::uint32_t value = 0;
    const kern_return_t status = window_read_data(connect, &value);
    if (status != kIOReturnSuccess) return status;
    if (value != running && value != word) return kIOReturnSuccess;
  }
  err_printf("SPI command %08X did not complete after %u polls\n", word, kSpiCompletionPolls);
  return kIOReturnTimeout;
}

}  // namespace

kern_return_t spi_transaction(io_connect_t connect, sDevice* dev, const SpiTransfer& transfer) {
  kern_return_t status = window_write(connect, dev, M9182_REG_SPI_ADDR, transfer.address);
  if (status == kIOReturnSuccess && transfer.data)
    status = window_write(connect, dev, M9182_REG_SPI_DATA, *transfer.data);
  if (status == kIOReturnSuccess) status = window_write(connect, dev, M9182_REG_SPI_CMD, transfer.word);
  if (status == kIOReturnSuccess) status = wait_for_completion(connect, transfer.word);
  if (status == kIOReturnSuccess && transfer.result)
    status = window_read(connect, dev, M9182_REG_SPI_DATA, transfer.result);
  return status;
}

bool wait_9182_spi_flash_ready(io_connect_t connect, sDevice* dev) {
  std::uint32_t status = 0;
  for (std::uint32_t poll = 0; poll < kFlashBusyPolls; ++poll) {
    if (read_9182_spi_flash_status(connect, dev, &status) != kIOReturnSuccess) return false;
    if ((status & kFlashStatusBusy) == 0) return true;
  }
  err_printf("SPI flash still busy after %u status reads, flash_status=%x\n", kFlashBusyPolls, status);
  return false;
}

}  // namespace berth
