// The SATA status LEDs: lighting, darkening, blinking and the restore after blinking,
// and the entry points that open their own connection.
#include <gtest/gtest.h>

#include "lib/regctl/gpio_i2c.h"
#include "lib/regctl/sata_led.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using sim::LedState;
using testing::dock_controller;
using testing::json;
using testing::RegctlBench;

// A controller after the default GPIO settings: both LEDs driven and dark.
json leds_dark(const json& changes = json::object()) {
  json service = dock_controller(changes);
  service["window"] = {{"0x220", "0x21"}, {"0x224", "0x1E"}};
  return service;
}

LedState led(RegctlBench& bench, unsigned pin) { return bench.controller().gpio().led(pin); }
std::uint32_t out_bits(RegctlBench& bench) { return bench.controller().peek(M9182_REG_GPIO_DATA_OUT); }

TEST(SataLed, LightAndDarkChangeOnlyTheirPinsOutputBit) {
  struct Case {
    bool light;
    std::uint8_t port;
    std::uint32_t before, after;
  };
  // Any port but 0 is pin 5 inside the register functions.
  for (const Case c : {Case{true, 1, 0x21, 0x01}, Case{true, 0, 0x21, 0x20}, Case{false, 0, 0x00, 0x01},
                       Case{false, 7, 0x01, 0x21}, Case{true, 0, 0xFFFFFF21, 0x20}}) {
    SCOPED_TRACE(std::to_string(c.port) + (c.light ? " light" : " dark"));
    json service = leds_dark();
    service["window"]["0x220"] = c.before;
    RegctlBench bench(service);
    EXPECT_TRUE(c.light ? light_sata_status_LED(bench.connect, bench.dev(), c.port)
                        : dark_sata_status_LED(bench.connect, bench.dev(), c.port));
    EXPECT_EQ(out_bits(bench), c.after);
  }
}

TEST(SataLed, AnLedBlinksAndThenComesBackAsItWas) {
  for (const bool lit : {true, false}) {
    SCOPED_TRACE(lit ? "lit" : "dark");
    RegctlBench bench(leds_dark());
    if (lit) {
      ASSERT_TRUE(light_sata_status_LED(bench.connect, bench.dev(), 1));
    }
    ASSERT_TRUE(blink_sata_status_LED(bench.connect, bench.dev(), 1, true));
    EXPECT_EQ(led(bench, 5), LedState::blinking);
    EXPECT_EQ(out_bits(bench) & 0x20, 0x20u);  // dark between blinks
    EXPECT_EQ(bench.dev()->dev_tbl_b[5], 1u);
    EXPECT_EQ(bench.dev()->dev_tbl_a[5], lit ? 0u : 0x20u);
    ASSERT_TRUE(blink_sata_status_LED(bench.connect, bench.dev(), 1, false));
    EXPECT_EQ(led(bench, 5), lit ? LedState::lit : LedState::dark);
    EXPECT_EQ(bench.dev()->dev_tbl_b[5], 0u);
    EXPECT_EQ(bench.controller().peek(M9182_REG_GPIO_BLINK_EN), 0u);
  }
}

TEST(SataLed, BlinkingTwiceOrStoppingWhatDoesNotBlinkIsRefusedQuietly) {
  RegctlBench bench(leds_dark());
  EXPECT_FALSE(blink_sata_status_LED(bench.connect, bench.dev(), 0, false));
  ASSERT_TRUE(blink_sata_status_LED(bench.connect, bench.dev(), 0, true));
  EXPECT_FALSE(blink_sata_status_LED(bench.connect, bench.dev(), 0, true));
  EXPECT_EQ(bench.console().err(), "");
}

// The simulated LED goes by its output bit alone, as the LED is defined.
TEST(SataLed, TheSimulatedLedFollowsItsOutputBitWhateverTheOutputEnable) {
  RegctlBench bench(dock_controller({{"window", {{"0x220", "0x20"}, {"0x224", "0x3F"}}}}));
  EXPECT_EQ(led(bench, 0), LedState::lit);
  EXPECT_EQ(led(bench, 5), LedState::dark);
}

TEST(SataLedEntry, OnOffAndBlinkWorkThroughTheirOwnConnection) {
  RegctlBench bench(leds_dark());
  EXPECT_EQ(sata_status_LED_on(bench.dev(), 0), kIOReturnSuccess);
  EXPECT_EQ(led(bench, 0), LedState::lit);
  EXPECT_EQ(sata_status_LED_blink(bench.dev(), 0, true), kIOReturnSuccess);
  EXPECT_EQ(led(bench, 0), LedState::blinking);
  EXPECT_EQ(sata_status_LED_blink(bench.dev(), 0, true), kIOReturnError);
  EXPECT_EQ(sata_status_LED_blink(bench.dev(), 0, false), kIOReturnSuccess);
  EXPECT_EQ(led(bench, 0), LedState::lit);
  EXPECT_EQ(sata_status_LED_off(bench.dev(), 0), kIOReturnSuccess);
  EXPECT_EQ(led(bench, 0), LedState::dark);
  EXPECT_EQ(bench.driver().open_connections(), 1u);  // only the bench's
  EXPECT_EQ(bench.console().err(), "");
}

TEST(SataLedEntry, BadArgumentsAreRefusedWithoutOpeningAConnection) {
  RegctlBench bench(leds_dark());
  sDevice no_service{};
  EXPECT_EQ(sata_status_LED_on(bench.dev(), 2), kIOReturnBadArgument);
  EXPECT_EQ(sata_status_LED_off(nullptr, 0), kIOReturnBadArgument);
  EXPECT_EQ(sata_status_LED_blink(&no_service, 0, true), kIOReturnBadArgument);
  EXPECT_EQ(bench.driver().connections_opened(), 1u);
}

TEST(SataLedEntry, FailureLinesOfTheEntryPoints) {
  RegctlBench bench(testing::driver_machine({leds_dark({{"faults", {{"fail_selector", 7}}}}),
                                             leds_dark({{"open_status", "0xE00002C5"}})}));
  bench.console().clear();
  sDevice unopenable{};
  unopenable.service = bench.driver().service_handle(1);
  EXPECT_EQ(sata_status_LED_on(&unopenable, 0), kIOReturnError);
  EXPECT_EQ(sata_status_LED_blink(&unopenable, 0, true), kIOReturnError);
  EXPECT_EQ(sata_status_LED_on(bench.dev(), 1), kIOReturnError);
  EXPECT_EQ(sata_status_LED_off(bench.dev(), 1), kIOReturnError);
  EXPECT_EQ(sata_status_LED_blink(bench.dev(), 1, true), kIOReturnError);
  EXPECT_EQ(bench.console().err(),
            "sata_status_LED_on Err2\nsata_status_LED_blink Err2\n"
            "light_sata_status_LED err\nsata_status_LED_on Err1\ndark_sata_status_LED err\nsata_status_LED_off Err1\n"
            "blink_sata_status_LED err\n");
  EXPECT_EQ(bench.driver().open_connections(), 1u);
}

}  // namespace
}  // namespace berth
