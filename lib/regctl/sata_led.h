#pragma once
// The two SATA status LEDs (port 0 on GPIO pin 0, port 1 on pin 5): lit while the
// pin's output bit is clear, dark while it is set, and blinking in the GPIO blink
// logic. The dock record keeps each pin's blink flag (dev_tbl_b) and the output bit it
// had when blinking began (dev_tbl_a), so that stopping restores it.
#include <cstdint>

#include "lib/discovery/device_tables.h"
#include "platform/driver_port.h"

namespace berth {

inline constexpr std::uint32_t kSataLedPorts = 2;

bool light_sata_status_LED(io_connect_t connect, sDevice* dev, std::uint8_t port);
bool dark_sata_status_LED(io_connect_t connect, sDevice* dev, std::uint8_t port);
bool blink_sata_status_LED(io_connect_t connect, sDevice* dev, std::uint8_t port, bool enable);

// Entry points: open a connection on the record's service, run the operation, close.
// 0 on success; 0xe0000001 for a null record, a port of 2 or more or no service;
// 0xe00002bc when the connection cannot be opened or the operation fails.
kern_return_t sata_status_LED_on(sDevice* dev, std::uint32_t port);
kern_return_t sata_status_LED_off(sDevice* dev, std::uint32_t port);
kern_return_t sata_status_LED_blink(sDevice* dev, std::uint32_t port, bool enable);

}  // namespace berth
