// GPIO pins, the bit-banged I2C bus and the SATA status LEDs against the simulated GPIO
// block: open-drain lines, an I2C device on pins 3 (clock) and 4 (data), LEDs on 0 and 5.
#include <gtest/gtest.h>

#include <cctype>

#include "lib/regctl/gpio_i2c.h"
#include "lib/regctl/sata_led.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using namespace testing;
using sim::LedState;
using Log = std::vector<std::string>;

// The I2C globals are process-wide; every test starts from their initial values.
struct Gpio : ::testing::Test {
  Gpio() { started = glo_i2c_scl_timeout = false, glo_i2c_spd = 0; }
};

const sim::SimI2cDevice& device(RegctlBench& bench) { return bench.controller().gpio().i2c_devices().at(0); }

// The register accesses of the pin and LED operations: written back, a register keeps only
// bits 0 to 5, and only pins 3 and 4 change. A failed register call does not stop them; only
// a failed read keeps its (undelivered) value from being written back.
TEST_F(Gpio, PinOperationsMakeTheirRegisterAccessesWhateverFails) {
  // Name, window, the call of the operation that fails (0: none), operation ('C' CLRSCL,
  // 'S'/'s' gpio_set of pin to true/false, 'G' gpio_get of pin, 'L'/'l' light/darken the
  // LED of port `pin`), pin, result, accesses.
  using Case = std::tuple<const char*, json, std::uint64_t, char, std::uint8_t, bool, Log>;
  const json reset = {{"0x224", "0x3F"}};
  const json high = {{"0x220", "0xFFFF0015"}, {"0x224", "0x8000003A"}};
  const std::vector<Case> cases{
      {"clear the clock", reset, 0, 'C', 3, true, {"W A8=224", "R AC=3F", "W AC=37", "W A8=220", "R AC=0", "W AC=8"}},
      {"set pin 4 true", high, 0, 'S', 4, true,
       {"W A8=224", "R AC=8000003A", "W AC=2A", "W A8=220", "R AC=FFFF0015", "W AC=5"}},
      {"set pin 4 false", high, 0, 's', 4, true,
       {"W A8=224", "R AC=8000003A", "W AC=2A", "W A8=220", "R AC=FFFF0015", "W AC=15"}},
      {"set pin 0", high, 0, 'S', 0, true,
       {"W A8=224", "R AC=8000003A", "W AC=3A", "W A8=220", "R AC=FFFF0015", "W AC=15"}},
      {"pin 5 reads bit 3", {{"0x224", "0x37"}, {"0x220", "0x8"}}, 0, 'G', 5, false,
       {"W A8=224", "R AC=37", "W AC=37", "W A8=230", "R AC=37"}},
      {"set, failed read", reset, 2, 'C', 3, true, {"W A8=224", "W A8=220", "R AC=0", "W AC=8"}},
      // The read goes through the index selected last, the SPI data register.
      {"set, failed select", reset, 1, 'C', 3, true, {"R AC=1330EF", "W AC=27", "W A8=220", "R AC=0", "W AC=8"}},
      {"get, failed select", reset, 1, 'G', 4, true, {"R AC=1330EF", "W AC=3F", "W A8=230", "R AC=3F"}},
      {"get, failed input select", reset, 4, 'G', 4, true, {"W A8=224", "R AC=3F", "W AC=3F", "R AC=3F"}},
      {"get, failed input read", reset, 5, 'G', 4, false, {"W A8=224", "R AC=3F", "W AC=3F", "W A8=230"}},
      // Any port but 0 is pin 5.
      {"light port 1", {{"0x220", "0x21"}}, 0, 'L', 1, true, {"W A8=220", "R AC=21", "W AC=1"}},
      {"light port 0", {{"0x220", "0xFFFFFF21"}}, 0, 'L', 0, true, {"W A8=220", "R AC=FFFFFF21", "W AC=20"}},
      {"dark port 0", {{"0x220", "0x0"}}, 0, 'l', 0, true, {"W A8=220", "R AC=0", "W AC=1"}},
      {"dark port 7", {{"0x220", "0x1"}}, 0, 'l', 7, true, {"W A8=220", "R AC=1", "W AC=21"}},
  };
  for (const auto& [name, window, failing, operation, pin, result, expected] : cases) {
    SCOPED_TRACE(name);
    RegctlBench bench(dock_controller({{"window", window}, {"faults", fail_call_after_setup(failing)}}));
    bench.start_log();
    if (operation == 'C') CLRSCL(bench.connect, bench.dev());
    else if (operation == 'G') EXPECT_EQ(gpio_get(bench.connect, bench.dev(), pin), result);
    else if (std::tolower(operation) == 's') EXPECT_TRUE(gpio_set(bench.connect, bench.dev(), pin, operation == 'S'));
    else
      EXPECT_TRUE((operation == 'L' ? light_sata_status_LED : dark_sata_status_LED)(bench.connect, bench.dev(), pin));
    EXPECT_EQ(bench.log(), expected);
  }
}

// Both LEDs driven and dark, the bus released, blinks forgotten; the register dump then
// names every register in table order. The first failed write ends the settings with
// their line, and the first failed read ends the dump.
TEST_F(Gpio, DefaultSettingsWriteTheirRegistersInTurnAndTheDumpNamesThemInTableOrder) {
  RegctlBench bench(dock_controller({{"window", {{"0x22C", "0x5"}}}}));  // the input polarity, not set by them
  for (unsigned pin = 0; pin < 8; ++pin) bench.dev()->dev_tbl_a[pin] = bench.dev()->dev_tbl_b[pin] = 7;
  bench.start_log();
  ASSERT_TRUE(reset_gpio_to_default_2(bench.connect, bench.dev()));
  EXPECT_EQ(bench.log(), (Log{"W A8=220", "W AC=21", "W A8=224", "W AC=1E", "W A8=228", "W AC=0", "W A8=258",
                              "W AC=743217"}));
  for (unsigned pin = 0; pin < 6; ++pin) EXPECT_EQ(bench.dev()->dev_tbl_a[pin] + bench.dev()->dev_tbl_b[pin], 0u);
  EXPECT_EQ(bench.dev()->dev_tbl_a[6] + bench.dev()->dev_tbl_b[7], 14u);
  EXPECT_EQ(reset_gpio(bench.dev()), kIOReturnBadArgument);
  std::size_t told = 0;
  ASSERT_TRUE(dump_gpio_regs(bench.connect, bench.dev(), [&](const char*, auto) { ++told; }));
  EXPECT_EQ(bench.console().err(),
            "M9182_REG_GPIO_DATA_OUT=21\nM9182_REG_GPIO_DATA_OUT_EN=1e\nM9182_REG_GPIO_BLINK_EN=0\n"
            "M9182_REG_GPIO_DATA_IN_POLARITY=5\nM9182_REG_GPIO_DATA_IN=1e\nM9182_REG_GPIO_INT_CAUSE=0\n"
            "M9182_REG_GPIO_INT_MASK=0\nM9182_REG_GPIO_INT_LEVEL_MASK=0\nM9182_REG_GPIO_SAMPLE_AT_RESET=0\n"
            "M9182_REG_GPIO_PORT_ACTIVE_EN=743217\n");
  EXPECT_EQ(told, 10u);
  RegctlBench failing(dock_controller({{"faults", {{"fail_selector", 8}}}}));
  failing.console().clear();
  EXPECT_FALSE(reset_gpio_to_default_2(failing.connect, failing.dev()));
  EXPECT_FALSE(reset_gpio_to_default_3(failing.connect, failing.dev()));
  EXPECT_EQ(failing.console().err(), "reset_gpio_to_default_2 err\nreset_gpio_to_default_3 err\n");
  RegctlBench unread(dock_controller({{"faults", fail_call_after_setup(6)}}));  // call 6 reads the third register
  EXPECT_FALSE(dump_gpio_regs(unread.connect, unread.dev()));
  EXPECT_EQ(unread.console().err(), "M9182_REG_GPIO_DATA_OUT=0\nM9182_REG_GPIO_DATA_OUT_EN=3f\ndump_gpio_regs err\n");
}

// Test routine three writes the address 0x23 and two bytes 0xFF at its own speed. A repeated
// start turns the next transfer round; bytes are then read until the not-acknowledge.
// Writing a 1 while the device holds data low to acknowledge is lost arbitration.
TEST_F(Gpio, BytesArriveAndAreAcknowledgedOnlyByTheAddressedDeviceAndARepeatedStartTurnsRound) {
  RegctlBench bench(dock_controller({{"i2c", {{{"address", "0x23"}, {"read", "a55a"}}}}}));
  ASSERT_TRUE(gpio_test3(bench.connect, bench.dev()));
  EXPECT_EQ(bench.console().out() + bench.console().err(), "gpio_test3 done\n");
  EXPECT_EQ((std::vector{bench.controller().peek(M9182_REG_GPIO_PORT_ACTIVE_EN), glo_i2c_spd}),
            (std::vector<std::uint32_t>{0x777777, 7000}));
  EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), true, false, 0x23 << 1));
  for (std::uint8_t byte : {0x00, 0x5A, 0x81})
    EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), false, false, byte));
  ASSERT_TRUE(started);
  bench.start_log();
  i2c_start_cond(bench.connect, bench.dev());
  const Log log = bench.log();
  // Data released (output enable bit 4, as the acknowledge left it) and read, then the
  // clock released (bit 3), before data is pulled low again.
  EXPECT_EQ(Log(log.begin(), log.begin() + 8),
            (Log{"W A8=224", "R AC=37", "W AC=37", "W A8=230", "R AC=37", "W A8=224", "R AC=37", "W AC=3F"}));
  EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), false, false, (0x23 << 1) | 1));
  EXPECT_EQ(i2c_read_byte(bench.connect, bench.dev(), false, false), 0xA5);
  EXPECT_EQ(i2c_read_byte(bench.connect, bench.dev(), true, true), 0x5A);
  EXPECT_EQ(device(bench).received(), (std::vector<std::uint8_t>{0xFF, 0xFF, 0x00, 0x5A, 0x81}));
  EXPECT_EQ(device(bench).starts() + device(bench).stops(), 3u + 2);
  EXPECT_TRUE(device(bench).transfers().back().read);
  // Nobody answers 0x50: its address and the byte after it are not acknowledged.
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), true, false, 0x50 << 1));
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), false, true, 0x01));
  EXPECT_EQ(device(bench).transfers().size(), 3u);
  EXPECT_FALSE(started);
  i2c_start_cond(bench.connect, bench.dev());
  for (int bit = 7; bit >= 0; --bit) i2c_write_bit(bench.connect, bench.dev(), ((0x23 << 1) >> bit) & 1);
  i2c_write_bit(bench.connect, bench.dev(), true);
  EXPECT_EQ(bench.console().err(), "ARBITRATION_LOST \n");
}

// Sound behaviour: a clock held low ends the transfer after one bounded wait and one
// line, instead of waiting out every remaining bit; the next start tries again.
TEST_F(Gpio, AClockHeldLowEndsTheTransferAfterOneBoundedWait) {
  RegctlBench bench(dock_controller({{"i2c", {{{"address", "0x23"}, {"hold_scl", true}}}}}));
  const std::uint64_t before = bench.driver().call_count(0);
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), true, false, 0x23 << 1));
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), false, true, 0x01));
  EXPECT_EQ(bench.console().err(), "i2c: SCL held low, gave up after 1000 reads\n");
  EXPECT_TRUE(glo_i2c_scl_timeout && !started);
  // The start, the first bit's data and the wait: five calls per read of the clock.
  EXPECT_LT(bench.driver().call_count(0) - before, 5u * kSclWaitReads + 40);
  i2c_start_cond(bench.connect, bench.dev());
  EXPECT_TRUE(!glo_i2c_scl_timeout && started);
}

// A controller after the default GPIO settings: both LEDs driven and dark.
json leds_dark(json changes = json::object()) {
  changes["window"] = {{"0x220", "0x21"}, {"0x224", "0x1E"}};
  return dock_controller(changes);
}

LedState led(RegctlBench& bench, unsigned pin) { return bench.controller().gpio().led(pin); }

// Each entry point runs on its own connection. Blinking keeps the LED dark between
// blinks and ends with the LED as it was, lit or dark; refusals of blinking are quiet.
TEST(SataLed, EntryPointsSwitchAndBlinkAnLedThatThenComesBackAsItWas) {
  RegctlBench bench(leds_dark());
  sDevice* dev = bench.dev();
  const auto then = [&](kern_return_t status, unsigned pin) { return std::pair{status, led(bench, pin)}; };
  EXPECT_EQ(then(sata_status_LED_blink(dev, 1, false), 5), std::pair(kIOReturnError, LedState::dark));  // not blinking
  EXPECT_EQ(then(sata_status_LED_blink(dev, 1, true), 5), std::pair(kIOReturnSuccess, LedState::blinking));
  EXPECT_EQ(bench.controller().peek(M9182_REG_GPIO_DATA_OUT) & 0x20, 0x20u);  // dark between blinks
  EXPECT_EQ((std::vector{dev->dev_tbl_b[5], dev->dev_tbl_a[5]}), (std::vector<std::uint32_t>{1, 0x20}));
  EXPECT_EQ(then(sata_status_LED_blink(dev, 1, true), 5), std::pair(kIOReturnError, LedState::blinking));  // already
  EXPECT_EQ(then(sata_status_LED_blink(dev, 1, false), 5), std::pair(kIOReturnSuccess, LedState::dark));
  EXPECT_EQ(dev->dev_tbl_b[5] + bench.controller().peek(M9182_REG_GPIO_BLINK_EN), 0u);
  EXPECT_EQ(then(sata_status_LED_on(dev, 0), 0), std::pair(kIOReturnSuccess, LedState::lit));
  EXPECT_EQ(then(sata_status_LED_blink(dev, 0, true), 0), std::pair(kIOReturnSuccess, LedState::blinking));
  EXPECT_EQ(dev->dev_tbl_a[0], 0u);
  EXPECT_EQ(then(sata_status_LED_blink(dev, 0, false), 0), std::pair(kIOReturnSuccess, LedState::lit));
  EXPECT_EQ(then(sata_status_LED_off(dev, 0), 0), std::pair(kIOReturnSuccess, LedState::dark));
  EXPECT_EQ(bench.driver().open_connections(), 1u);  // only the bench's
  EXPECT_EQ(bench.console().err(), "");
}

// The LED and flash entry points refuse a port of 2, no record or no service without
// opening anything, and name a service that cannot be opened (Err2).
TEST(EntryPoints, RefusalsOpenNothingAndFailuresHaveTheirLines) {
  RegctlBench bench(
      driver_machine({leds_dark({{"faults", {{"fail_selector", 7}}}}), leds_dark({{"open_status", "0xE00002C5"}})}));
  bench.console().clear();
  sDevice unopenable{};
  EXPECT_EQ((std::vector{sata_status_LED_on(bench.dev(), 2), sata_status_LED_off(nullptr, 0),
                         sata_status_LED_blink(&unopenable, 0, true), spi_flash_dump(&unopenable),
                         spi_flash_program_flash(&unopenable), spi_flash_dump(nullptr)}),
            std::vector(6, kIOReturnBadArgument));
  EXPECT_EQ(bench.driver().connections_opened(), 1u);  // the bench's own
  unopenable.service = bench.driver().service_handle(1);
  EXPECT_EQ((std::vector{sata_status_LED_on(&unopenable, 0), sata_status_LED_blink(&unopenable, 0, true),
                         spi_flash_dump(&unopenable), spi_flash_program_flash(&unopenable),
                         sata_status_LED_on(bench.dev(), 1), sata_status_LED_off(bench.dev(), 1),
                         sata_status_LED_blink(bench.dev(), 1, true)}), std::vector(7, kIOReturnError));
  EXPECT_EQ(bench.console().err(),
            "sata_status_LED_on Err2\nsata_status_LED_blink Err2\nspi_flash_dump Err2\nspi_flash_program_flash Err2\n"
            "light_sata_status_LED err\nsata_status_LED_on Err1\ndark_sata_status_LED err\nsata_status_LED_off Err1\n"
            "blink_sata_status_LED err\n");
  EXPECT_EQ(bench.driver().open_connections(), 1u);
}

}  // namespace
}  // namespace berth
