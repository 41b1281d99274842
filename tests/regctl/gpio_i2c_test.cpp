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
    started = false;
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

TEST_F(Gpio, ClearingTheClockDrivesPin3WithItsOutputBitSet) {
  RegctlBench bench;
  bench.start_log();
  CLRSCL(bench.connect, bench.dev());
  EXPECT_EQ(bench.log(), (Log{"W A8=224", "R AC=3F", "W AC=37", "W A8=220", "R AC=0", "W AC=8"}));
  EXPECT_FALSE(bench.controller().gpio().line(3));
}

TEST_F(Gpio, SettingPin4TrueClearsItsOutputBit) {
  RegctlBench bench(with_window({{"0x220", "0x10"}}));
  gpio_set(bench.connect, bench.dev(), 4, true);
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_DATA_OUT), 0u);
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_DATA_OUT_EN), 0x2Fu);
}

TEST_F(Gpio, SettingAnotherPinRewritesBothRegistersKeepingOnlyBits0To5) {
  RegctlBench bench(with_window({{"0x220", "0xFFFF0015"}, {"0x224", "0x8000002A"}}));
  EXPECT_TRUE(gpio_set(bench.connect, bench.dev(), 0, true));
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_DATA_OUT), 0x15u);
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_DATA_OUT_EN), 0x2Au);
}

TEST_F(Gpio, ReadingPin5ReturnsBit3OfTheInputs) {
  RegctlBench bench;
  CLRSCL(bench.connect, bench.dev());  // pin 3 low, pin 5 high
  bench.start_log();
  EXPECT_FALSE(gpio_get(bench.connect, bench.dev(), 5));
  // Pin 5 is not a bus pin: its output enable is rewritten unchanged, then the inputs read.
  EXPECT_EQ(bench.log(), (Log{"W A8=224", "R AC=37", "W AC=37", "W A8=230", "R AC=37"}));
}

TEST_F(Gpio, AFailedReadInsideGpioSetWritesNothingBackToThatRegister) {
  const std::uint64_t setup = RegctlBench(with_window({{"0x224", "0x3F"}})).driver().call_count(0);
  // Call 2 of gpio_set reads the output-enable register.
  RegctlBench bench(with_window({{"0x224", "0x3F"}}, {{"faults", {{"fail_call", setup + 2}}}}));
  bench.start_log();
  EXPECT_TRUE(gpio_set(bench.connect, bench.dev(), 3, false));
  EXPECT_EQ(bench.log(), (Log{"W A8=224", "W A8=220", "R AC=0", "W AC=8"}));
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_DATA_OUT_EN), 0x3Fu);
}

TEST_F(Gpio, AFailedSelectInsideGpioGetReadsAndWritesNothingThroughTheOldIndex) {
  const std::uint64_t setup = RegctlBench().driver().call_count(0);
  RegctlBench bench(dock_controller({{"faults", {{"fail_call", setup + 1}}}}));
  bench.start_log();
  EXPECT_TRUE(gpio_get(bench.connect, bench.dev(), 4));
  EXPECT_EQ(bench.log(), (Log{"W A8=230", "R AC=3F"}));
}

TEST_F(Gpio, AFailedInputReadReadsAsLow) {
  const std::uint64_t setup = RegctlBench().driver().call_count(0);
  RegctlBench bench(dock_controller({{"faults", {{"fail_call", setup + 5}}}}));
  EXPECT_FALSE(gpio_get(bench.connect, bench.dev(), 4));
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
  EXPECT_TRUE(bench.controller().gpio().line(3));
  EXPECT_TRUE(bench.controller().gpio().line(4));
  for (unsigned pin = 0; pin < 6; ++pin) EXPECT_EQ(bench.dev()->dev_tbl_a[pin] + bench.dev()->dev_tbl_b[pin], 0u);
  EXPECT_EQ(bench.dev()->dev_tbl_a[6], 7u);
  EXPECT_EQ(bench.dev()->dev_tbl_b[7], 7u);
}

TEST_F(Gpio, DefaultSettingsStopAtTheFirstFailedWrite) {
  RegctlBench bench(dock_controller({{"faults", {{"fail_selector", 8}}}}));
  bench.console().clear();
  EXPECT_FALSE(reset_gpio_to_default_2(bench.connect, bench.dev()));
  EXPECT_FALSE(reset_gpio_to_default_3(bench.connect, bench.dev()));
  EXPECT_EQ(bench.console().err(), "reset_gpio_to_default_2 err\nreset_gpio_to_default_3 err\n");
  EXPECT_EQ(reset_gpio(bench.dev()), kIOReturnBadArgument);
}

TEST_F(Gpio, TheRegisterDumpNamesEveryRegisterInTableOrder) {
  RegctlBench bench(with_window({{"0x258", "0x743217"}, {"0x22C", "0x5"}}));
  ASSERT_TRUE(dump_gpio_regs(bench.connect, bench.dev()));
  EXPECT_EQ(bench.console().err(),
            "M9182_REG_GPIO_DATA_OUT=0\nM9182_REG_GPIO_DATA_OUT_EN=3f\nM9182_REG_GPIO_BLINK_EN=0\n"
            "M9182_REG_GPIO_DATA_IN_POLARITY=5\nM9182_REG_GPIO_DATA_IN=3f\nM9182_REG_GPIO_INT_CAUSE=0\n"
            "M9182_REG_GPIO_INT_MASK=0\nM9182_REG_GPIO_INT_LEVEL_MASK=0\nM9182_REG_GPIO_SAMPLE_AT_RESET=0\n"
            "M9182_REG_GPIO_PORT_ACTIVE_EN=743217\n");
}

TEST_F(Gpio, TheRegisterDumpStopsAtAFailedRead) {
  const std::uint64_t setup = RegctlBench().driver().call_count(0);
  RegctlBench bench(dock_controller({{"faults", {{"fail_call", setup + 6}}}}));
  EXPECT_FALSE(dump_gpio_regs(bench.connect, bench.dev()));
  // Call 6 reads the third register.
  EXPECT_EQ(bench.console().err(), "M9182_REG_GPIO_DATA_OUT=0\nM9182_REG_GPIO_DATA_OUT_EN=3f\ndump_gpio_regs err\n");
}

TEST_F(Gpio, TestRoutineThreeWritesTwoBytesThatArriveAtDevice0x23) {
  RegctlBench bench;
  ASSERT_TRUE(gpio_test3(bench.connect, bench.dev()));
  const auto& device = bench.controller().gpio().i2c_devices().at(0);
  EXPECT_EQ(device.received(), (std::vector<std::uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(device.starts(), 1u);
  EXPECT_EQ(device.stops(), 1u);
  EXPECT_EQ(reg(bench, M9182_REG_GPIO_PORT_ACTIVE_EN), 0x777777u);
  EXPECT_EQ(glo_i2c_spd, 7000u);
  EXPECT_FALSE(started);
  EXPECT_EQ(bench.console().out(), "gpio_test3 done\n");
  EXPECT_EQ(bench.console().err(), "");
}

TEST_F(Gpio, EveryByteOfATransferArrivesAndIsAcknowledged) {
  RegctlBench bench;
  EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), true, false, 0x23 << 1));
  for (std::uint8_t byte : {0x00, 0x5A, 0x81}) EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), false, byte == 0x81, byte));
  EXPECT_EQ(bench.controller().gpio().i2c_devices().at(0).received(), (std::vector<std::uint8_t>{0x00, 0x5A, 0x81}));
}

TEST_F(Gpio, AnAddressNobodyAnswersIsNotAcknowledged) {
  RegctlBench bench;
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), true, true, 0x50 << 1));
  EXPECT_TRUE(bench.controller().gpio().i2c_devices().at(0).transfers().empty());
}

TEST_F(Gpio, BytesAreReadFromTheDeviceUntilTheNotAcknowledge) {
  RegctlBench bench(dock_controller({{"i2c", {{{"address", "0x23"}, {"read", "a55a"}}}}}));
  EXPECT_FALSE(i2c_write_byte(bench.connect, bench.dev(), true, false, (0x23 << 1) | 1));
  EXPECT_EQ(i2c_read_byte(bench.connect, bench.dev(), false, false), 0xA5);
  EXPECT_EQ(i2c_read_byte(bench.connect, bench.dev(), true, true), 0x5A);
  const auto& transfers = bench.controller().gpio().i2c_devices().at(0).transfers();
  ASSERT_EQ(transfers.size(), 1u);
  EXPECT_TRUE(transfers[0].read);
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
  EXPECT_EQ(i2c_write_byte(bench.connect, bench.dev(), false, false, (0x23 << 1) | 1), false);
  EXPECT_EQ(i2c_read_byte(bench.connect, bench.dev(), true, true), 0x42);
  EXPECT_EQ(bench.controller().gpio().i2c_devices().at(0).starts(), 2u);
}

TEST_F(Gpio, AClockHeldLowEndsEveryWaitAfterItsBoundWithALine) {
  RegctlBench bench(dock_controller({{"i2c", {{{"address", "0x23"}, {"hold_scl", true}}}}}));
  const std::uint64_t before = bench.driver().call_count(0);
  EXPECT_TRUE(i2c_write_byte(bench.connect, bench.dev(), true, true, 0x23 << 1));
  const std::string err = bench.console().err();
  std::size_t waits = 0;
  for (auto pos = err.find("i2c: SCL held low, gave up after 1000 reads\n"); pos != std::string::npos;
       pos = err.find("i2c: SCL held low", pos + 1))
    ++waits;
  EXPECT_EQ(waits, 10u);  // eight data bits, the acknowledge bit and the stop
  EXPECT_LT(bench.driver().call_count(0) - before, 10u * kSclWaitReads * 6 + 1000);
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
