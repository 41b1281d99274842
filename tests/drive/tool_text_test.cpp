// Reading the tools' outputs: disk names in the listing, report values that never read
// past the report's end, the scanners, and UTF-8 text.
#include <gtest/gtest.h>

#include "lib/regctl/tool_text.h"

namespace berth {
namespace {

TEST(ListsDisk, ANameCountsOnlyWhenNoOtherDigitFollows) {
  const std::string listing = "/dev/disk0 (internal):\n/dev/disk12 (external, physical):\n";
  EXPECT_TRUE(lists_disk(listing, 0));
  EXPECT_TRUE(lists_disk(listing, 12));
  EXPECT_FALSE(lists_disk(listing, 1));
  EXPECT_FALSE(lists_disk("/dev/disk12", 1));
  EXPECT_TRUE(lists_disk("/dev/disk12 (external)\n/dev/disk1 (external)\n", 1)) << "a later mention counts";
  EXPECT_TRUE(lists_disk("/dev/disk3", 3));
  EXPECT_TRUE(lists_disk("see /dev/disk3s1", 3));
  EXPECT_FALSE(lists_disk("disk3 (internal)", 3));
}

TEST(ReportValue, TakesTheFixedWindowAfterTheFirstKeyAndNeverReadsPastTheEnd) {
  const std::string report = "SN   : ABCDEFGHIJKLMNOPQR-tail\nSN   : second";
  EXPECT_EQ(report_value(report, "SN", 7, 18), "ABCDEFGHIJKLMNOPQR");
  EXPECT_EQ(report_value(report, "SN", 9, 18), "CDEFGHIJKLMNOPQR-t");
  EXPECT_EQ(report_value("no keys here", "Version", 12, 12), "");
  EXPECT_EQ(report_value("Version  : V1", "Version", 12, 12), "1");
  EXPECT_EQ(report_value("Version  : V", "Version", 12, 12), "");
  EXPECT_EQ(report_value("Version", "Version", 12, 12), "");
  EXPECT_EQ(report_value("", "id", 19, 8), "");
}

TEST(Scanners, ReadAsTheCLibraryScannersDo) {
  EXPECT_EQ(hex_value("  0x1A2b zz"), 0x1A2Bu);
  EXPECT_EQ(hex_value("DEADBEEF"), 0xDEADBEEFu);
  EXPECT_EQ(hex_value("12g4"), 0x12u);
  EXPECT_EQ(hex_value("xyz"), 0u);
  EXPECT_EQ(hex_value(""), 0u);
  EXPECT_EQ(decimal_value("42"), 42u);
  EXPECT_EQ(decimal_value(" 7C"), 7u);
  EXPECT_EQ(decimal_value("--"), 0u);
}

TEST(Utf8, AcceptsTextAndRefusesBrokenSequences) {
  EXPECT_TRUE(is_utf8("Matching - 5 tm6721"));
  EXPECT_TRUE(is_utf8("Temperature \xC2\xB0" "C \xE2\x82\xAC \xF0\x9F\x92\xBE"));
  EXPECT_FALSE(is_utf8("\xFF"));
  EXPECT_FALSE(is_utf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(is_utf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(is_utf8("\xE2\x82"));          // cut short
  EXPECT_FALSE(is_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

}  // namespace
}  // namespace berth
