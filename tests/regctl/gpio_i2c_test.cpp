// GPIO pins and the bit-banged I2C bus against the simulated GPIO block, whose lines
// are open drain, with an I2C device on pins 3 (clock) and 4 (data).
#include <gtest/gtest.h>

#include "lib/regctl/gpio_i2c.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using testing::dock_controller;
using testing::json;
using testing::RegctlBench;
using Log = std::vector<std::string>;

// The I2C globals are process-wide; every test starts from their initial values.
class Gpio : public ::testing::Test {
 protected:
  void SetUp() override {
    started = glo_i2c_scl_timeout = false;
    glo_i2c_spd = 0;
  }
  void TearDown() override { SetUp(); }
};

json with_window(const json& registers, const json& changes = json::object()) {
  json service = dock_controller(changes);
  service["window"] = registers;
  return service;
}

std::uint32_t reg(RegctlBench& bench, std::uint32_t index) { return bench.controller().peek(index); }
const sim::SimI2cDevice& device(RegctlBench& bench) { return bench.controller().gpio().i2c_devices().at(0); }

TEST_F(Gpio, ClearingTheClockDrivesPin3WithItsOutputBitSet) {
  RegctlBench bench;
  bench.start_log();
  CLRSCL(bench.connect, bench.dev());
  EXPECT_EQ(bench.log(), (Log{"W A8=224", "R AC=3F", "W AC=37", "W A8=220", "R AC=0", "W AC=8"}));
  EXPECT_FALSE(bench.controller().gpio().line(3));
}

TEST_F(Gpio, SettingAPinRewritesBothRegistersKeepingOnlyBits0To5) {
  struct Case {
    std::uint8_t pin;
    bool value;
    std::uint32_t out, enable;  // after, from 0xFFFF0015 and 0x8000003A
  };
  for (const Case c : {Case{4, true, 0x05, 0x2A}, Case{4, false, 0x15, 0x2A}, Case{3, false, 0x1D, 0x32},
                       Case{0, true, 0x15, 0x3A}, Case{0, false, 0x15, 0x3A}}) {
    SCOPED_TRACE("pin " + std::to_string(c.pin) + (c.value ? " true" : " false"));
    RegctlBench bench(with_window({{"0x220", "0xFFFF0015"}, {"0x224", "0x8000003A"}}));
    EXPECT_TRUE(gpio_set(bench.connect, bench.dev(), c.pin, c.value));
    EXPECT_EQ(reg(bench, M9182_REG_GPIO_DATA_OUT), c.out);
    EXPECT_EQ(reg(bench, M9182_REG_GPIO_DATA_OUT_EN), c.enable);
  }
}

TEST_F(Gpio, ReadingPin5ReturnsBit3OfTheInputs) {
  RegctlBench bench;
  CLRSCL(bench.connect, bench.dev());  // pin 3 low, pin 5 high
  bench.start_log();
  EXPECT_FALSE(gpio_get(bench.connect, bench.dev(), 5));
  // Pin 5 is not a bus pin: its output enable is rewritten unchanged, then the inputs read.
  EXPECT_EQ(bench.log(), (Log{"W A8=224", "R AC=37", "W AC=37", "W A8=230", "R AC=37"}));
}

// A failed register call does not stop the pin operations; only a failed read keeps
// its (undelivered) value from being written back.
TEST_F(Gpio, FailedRegisterCallsInsidePinOperations) {
  struct Case {
    const char* name;
    std::uint64_t failing;  // call of the operation
    bool get;
    Log expected;
  };
  const std::vector<Case> cases{
      {"set, failed read", 2, false, {"W A8=224", "W A8=220", "R AC=0", "W AC=8"}},
      // The read goes through the index selected last, the SPI data register.
      {"set, failed select", 1, false, {"R AC=1330EF", "W AC=27", "W A8=220", "R AC=0", "W AC=8"}},
      {"get, failed select", 1, true, {"R AC=1330EF", "W AC=3F", "W A8=230", "R AC=3F"}},
      {"get, failed input select", 4, true, {"W A8=224", "R AC=3F", "W AC=3F", "R AC=3F"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegctlBench bench(with_window({{"0x224", "0x3F"}}, {{"faults", testing::fail_call_after_setup(c.failing)}}));
    bench.start_log();
    if (c.get) EXPECT_TRUE(gpio_get(bench.connect, bench.dev(), 4));
    else EXPECT_TRUE(gpio_set(bench.connect, bench.dev(), 3, false));
    EXPECT_EQ(bench.log(), c.expected);
  }
  RegctlBench bench(dock_controller({{"faults", testing::fail_call_after_setup(5)}}));
  EXPECT_FALSE(gpio_get(bench.connect, bench.dev(), 4));  // a failed input read reads as low
}

TEST_F(Gpio, DefaultSettingsDarkenBothLedsReleaseTheBusAndForgetBlinks) {
  RegctlBench bench;
  for (unsigned pin = 0; pin < 8; ++pin) bench.dev()->dev_tbl_a[pin] = bench.dev()->dev_tbl_b[pin] = 7;
  ASSERT_TRUE(reset_gpio_to_default_2(bench.connect, bench.dev()));
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_DATA_OUT), 0x21u);
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_DATA_OUT_EN), 0x1Eu);
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_BLINK_EN), 0u);
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_PORT_ACTIVE_EN), 0x743217u);
  EXPECT_EQ(bench.controller().gpio().led(0), sim::LedState::dark);
  EXPECT_EQ(bench.controller().gpio().led(5), sim::LedState::dark);
  EXPECT_TRUE(bench.controller().gpio().line(3) && bench.controller().gpio().line(4));
  for (unsigned pin = 0; pin < 6; ++pin) EXPECT_EQ(bench.dev()->dev_tbl_a[pin] + bench.dev()->dev_tbl_b[pin], 0u);
  EXPECT_EQ(bench.dev()->dev_tbl_a[6] + bench.dev()->dev_tbl_b[7], 14u);
}

TEST_F(Gpio, DefaultSettingsStopAtTheFirstFailedWrite) {
  RegctlBench bench(dock_controller({{"faults", {{"fail_selector", 8}}}}));
  bench.console().clear();
  EXPECT_FALSE(reset_gpio_to_default_2(bench.connect, bench.dev()));
  EXPECT_FALSE(reset_gpio_to_default_3(bench.connect, bench.dev()));
  EXPECT_EQ(bench.console().err(), "reset_gpio_to_default_2 err\nreset_gpio_to_default_3 err\n");
  EXPECT_EQ(reset_gpio(bench.dev()), kIOReturnBadArgument);
}

TEST_F(Gpio, TheRegisterDumpNamesEveryRegisterInTableOrderUntilAFailedRead) {
  RegctlBench bench(with_window({{"0x258", "0x743217"}, {"0x22C", "0x5"}}));
  std::vector<std::string> told;
  ASSERT_TRUE(dump_gpio_regs(bench.connect, bench.dev(), [&](const char* name, std::uint32_t) { told.push_back(name); }));
  const std::string lines =
      "M9182_REG_GPIO_DATA_OUT=0\nM9182_REG_GPIO_DATA_OUT_EN=3f\nM9182_REG_GPIO_BLINK_EN=0\n"
      "M9182_REG_GPIO_DATA_IN_POLARITY=5\nM9182_REG_GPIO_DATA_IN=3f\nM9182_REG_GPIO_INT_CAUSE=0\n"
      "M9182_REG_GPIO_INT_MASK=0\nM9182_REG_GPIO_INT_LEVEL_MASK=0\nM9182_REG_GPIO_SAMPLE_AT_RESET=0\n"
      "M9182_REG_GPIO_PORT_ACTIVE_EN=743217\n";
  EXPECT_EQ(bench.console().err(), lines);
  EXPECT_EQ(told.size(), 10u);
  // Call 6 reads the third register.
  RegctlBench failing(dock_controller({{"faults", testing::fail_call_after_setup(6)}}));
  EXPECT_FALSE(dump_gpio_regs(failing.connect, failing.dev()));
  EXPECT_EQ(failing.console().err(), "M9182_REG_GPIO_DATA_OUT=0\nM9182_REG_GPIO_DATA_OUT_EN=3f\ndump_gpio_regs err\n");
}

TEST_F(Gpio, TestRoutineThreeWritesTwoBytesThatArriveAtDevice0x23) {
  RegctlBench bench;
  ASSERT_TRUE(gpio_test3(bench.connect, bench.dev()));
  EXPECT_EQ(device(bench).received(), (std::vector<std::uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(device(bench).starts() + device(bench).stops(), 2u);
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_PORT_ACTIVE_EN), 0x777777u);
  EXPECT_EQ(glo_i2c_spd, 7000u);
  EXPECT_FALSE(started);
  EXPECT_EQ(bench.console().out(), "gpio_test3 done\n");
  EXPECT_EQ(bench.console().err(), "");
}

TEST_F(Gpio, BytesArriveAndAreAcknowledgedOnlyByTheAddressedDevice) {
  RegctlBench bench;
  EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), true, false, 0x23 << 1));
  for (std::uint8_t byte : {0x00, 0x5A, 0x81}) EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), false, byte == 0x81, byte));
  EXPECT_EQ(device(bench).received(), (std::vector<std::uint8_t>{0x00, 0x5A, 0x81}));
  // Nobody answers 0x50: its address and the byte after it are not acknowledged.
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), true, false, 0x50 << 1));
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), false, true, 0x01));
  EXPECT_EQ(device(bench).transfers().size(), 1u);
}

TEST_F(Gpio, BytesAreReadFromTheDeviceUntilTheNotAcknowledge) {
  RegctlBench bench(dock_controller({{"i2c", {{{"address", "0x23"}, {"read", "a55a"}}}}}));
  EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), true, false, (0x23 << 1) | 1));
  EXPECT_EQ(i2c_read_byte(bench.connect, bench.dev(), false, false), 0xA5);
  EXPECT_EQ(i2c_read_byte(bench.connect, bench.dev(), true, true), 0x5A);
  ASSERT_EQ(device(bench).transfers().size(), 1u);
  EXPECT_TRUE(device(bench).transfers()[0].read);
  EXPECT_FALSE(started);
}

TEST_F(Gpio, ASecondStartIsARepeatedStartThatReleasesDataThenWaitsForTheClock) {
  RegctlBench bench(dock_controller({{"i2c", {{{"address", "0x23"}, {"read", "42"}}}}}));
  i2c_write_byte(bench.connect, bench.dev(), true, false, 0x23 << 1);
  i2c_write_byte(bench.connect, bench.dev(), false, false, 0x10);
  ASSERT_TRUE(started);
  bench.start_log();
  i2c_start_cond(bench.connect, bench.dev());
  const Log log = bench.log();
  // The data pin is released (output enable bit 4 set; the acknowledge left it so) and
  // read, then the clock pin is released (bit 3), both before data is pulled low again.
  EXPECT_EQ(Log(log.begin(), log.begin() + 8),
            (Log{"W A8=224", "R AC=37", "W AC=37", "W A8=230", "R AC=37", "W A8=224", "R AC=37", "W AC=3F"}));
  EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), false, false, (0x23 << 1) | 1));
  EXPECT_EQ(i2c_read_byte(bench.connect, bench.dev(), true, true), 0x42);
  EXPECT_EQ(device(bench).starts(), 2u);
}

// Sound behaviour: a clock held low ends the transfer after one bounded wait and one
// line, instead of waiting out every remaining bit; the next start tries again.
TEST_F(Gpio, AClockHeldLowEndsTheTransferAfterOneBoundedWait) {
  RegctlBench bench(dock_controller({{"i2c", {{{"address", "0x23"}, {"hold_scl", true}}}}}));
  const std::uint64_t before = bench.driver().call_count(0);
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), true, false, 0x23 << 1));
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), false, true, 0x01));
  EXPECT_EQ(bench.console().err(), "i2c: SCL held low, gave up after 1000 reads\n");
  EXPECT_TRUE(glo_i2c_scl_timeout);
  EXPECT_FALSE(started);
  // The start, the first bit's data and the wait: five calls per read of the clock.
  EXPECT_LT(bench.driver().call_count(0) - before, 5u * kSclWaitReads + 40);
  i2c_start_cond(bench.connect, bench.dev());
  EXPECT_FALSE(glo_i2c_scl_timeout);
  EXPECT_TRUE(started);
}

TEST_F(Gpio, WritingAOneWhileSomeoneHoldsDataLowIsLostArbitration) {
  RegctlBench bench;
  i2c_start_cond(bench.connect, bench.dev());
  for (int bit = 7; bit >= 0; --bit) i2c_write_bit(bench.connect, bench.dev(), ((0x23 << 1) >> bit) & 1);
  // The device now acknowledges by holding data low; sending a 1 instead of reading loses.
  i2c_write_bit(bench.connect, bench.dev(), true);
  EXPECT_EQ(bench.console().err(), "ARBITRATION_LOST \n");
}

}  // namespace
}  // namespace berth
