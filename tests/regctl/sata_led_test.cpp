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

TEST(SataLed, LightingPort1ClearsBit5AndLeavesBit0) {
  RegctlBench bench(leds_dark());
  ASSERT_TRUE(light_sata_status_LED(bench.connect, bench.dev(), 1));
  EXPECT_EQ(out_bits(bench), 0x01u);
  EXPECT_EQ(led(bench, 5), LedState::lit);
  EXPECT_EQ(led(bench, 0), LedState::dark);
}

TEST(SataLed, DarkeningPort0SetsBit0) {
  RegctlBench bench(leds_dark());
  ASSERT_TRUE(light_sata_status_LED(bench.connect, bench.dev(), 0));
  ASSERT_TRUE(dark_sata_status_LED(bench.connect, bench.dev(), 0));
  EXPECT_EQ(out_bits(bench), 0x21u);
  EXPECT_EQ(led(bench, 0), LedState::dark);
}

TEST(SataLed, ALitLedThatBlinksIsLitAgainWhenItStops) {
  RegctlBench bench(leds_dark());
  ASSERT_TRUE(light_sata_status_LED(bench.connect, bench.dev(), 1));
  ASSERT_TRUE(blink_sata_status_LED(bench.connect, bench.dev(), 1, true));
  EXPECT_EQ(led(bench, 5), LedState::blinking);
  EXPECT_EQ(out_bits(bench) & 0x20, 0x20u);  // dark between blinks
  EXPECT_EQ(bench.dev()->dev_tbl_b[5], 1u);
  EXPECT_EQ(bench.dev()->dev_tbl_a[5], 0u);
  ASSERT_TRUE(blink_sata_status_LED(bench.connect, bench.dev(), 1, false));
  EXPECT_EQ(led(bench, 5), LedState::lit);
  EXPECT_EQ(bench.dev()->dev_tbl_b[5], 0u);
}

TEST(SataLed, ADarkLedThatBlinksStaysDarkWhenItStops) {
  RegctlBench bench(leds_dark());
  ASSERT_TRUE(blink_sata_status_LED(bench.connect, bench.dev(), 0, true));
  EXPECT_EQ(bench.dev()->dev_tbl_a[0], 0x01u);
  ASSERT_TRUE(blink_sata_status_LED(bench.connect, bench.dev(), 0, false));
  EXPECT_EQ(led(bench, 0), LedState::dark);
  EXPECT_EQ(bench.controller().peek(M9182_REG_GPIO_BLINK_EN), 0u);
}

TEST(SataLed, BlinkingTwiceOrStoppingWhatDoesNotBlinkIsRefusedQuietly) {
  RegctlBench bench(leds_dark());
  EXPECT_FALSE(blink_sata_status_LED(bench.connect, bench.dev(), 0, false));
  ASSERT_TRUE(blink_sata_status_LED(bench.connect, bench.dev(), 0, true));
  EXPECT_FALSE(blink_sata_status_LED(bench.connect, bench.dev(), 0, true));
  EXPECT_EQ(bench.console().err(), "");
}

TEST(SataLed, AFailedRegisterCallIsReportedByTheOperation) {
  RegctlBench bench(leds_dark({{"faults", {{"fail_selector", 7}}}}));
  bench.console().clear();
  EXPECT_FALSE(light_sata_status_LED(bench.connect, bench.dev(), 0));
  EXPECT_FALSE(dark_sata_status_LED(bench.connect, bench.dev(), 0));
  EXPECT_FALSE(blink_sata_status_LED(bench.connect, bench.dev(), 0, true));
  EXPECT_EQ(bench.console().err(), "light_sata_status_LED err\ndark_sata_status_LED err\nblink_sata_status_LED err\n");
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

TEST(SataLedEntry, AConnectionThatCannotBeOpenedIsErr2) {
  RegctlBench bench(testing::driver_machine({leds_dark(), leds_dark({{"open_status", "0xE00002C5"}})}));
  sDevice record{};
  record.service = bench.driver().service_handle(1);
  EXPECT_EQ(sata_status_LED_on(&record, 0), kIOReturnError);
  EXPECT_EQ(sata_status_LED_blink(&record, 0, true), kIOReturnError);
  EXPECT_EQ(bench.console().err(), "sata_status_LED_on Err2\nsata_status_LED_blink Err2\n");
}

TEST(SataLedEntry, AFailedOperationIsErr1ExceptForBlink) {
  RegctlBench bench(leds_dark({{"faults", {{"fail_selector", 7}}}}));
  bench.console().clear();
  EXPECT_EQ(sata_status_LED_on(bench.dev(), 1), kIOReturnError);
  EXPECT_EQ(sata_status_LED_off(bench.dev(), 1), kIOReturnError);
  EXPECT_EQ(sata_status_LED_blink(bench.dev(), 1, true), kIOReturnError);
  EXPECT_EQ(bench.console().err(),
            "light_sata_status_LED err\nsata_status_LED_on Err1\ndark_sata_status_LED err\nsata_status_LED_off Err1\n"
            "blink_sata_status_LED err\n");
  EXPECT_EQ(bench.driver().open_connections(), 1u);
}

}  // namespace
}  // namespace berth
