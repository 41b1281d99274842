#include "platform/linux/unit_table.h"

#include <gtest/gtest.h>

namespace berth::linux_host {
namespace {

struct Case {
  const char* kernel;
  std::uint32_t unit;
  std::uint32_t slice;
  const char* bsd;
};

// Both directions of every range, at its edges.
constexpr Case kCases[] = {
    {"sda", 0, 0, "disk0"},           {"sdz", 25, 0, "disk25"},        {"sdaa", 26, 0, "disk26"},
    {"sdc1", 2, 1, "disk2s1"},        {"sdaz12", 51, 12, "disk51s12"}, {"sddx", 127, 0, "disk127"},
    {"sddy", 1128, 0, "disk1128"},    {"loop0", 128, 0, "disk128"},    {"loop0p2", 128, 2, "disk128s2"},
    {"loop63", 191, 0, "disk191"},    {"loop64", 100064, 0, "disk100064"},
    {"sr0", 192, 0, "disk192"},       {"sr31", 223, 0, "disk223"},     {"sr32", 200032, 0, "disk200032"},
    {"nvme0n1", 224, 0, "disk224"},   {"nvme0n1p3", 224, 3, "disk224s3"},
    {"nvme30n1", 254, 0, "disk254"},  {"nvme31n1", 331001, 0, "disk331001"},
    {"nvme0n2p1", 300002, 1, "disk300002s1"},
};

TEST(UnitTable, MapsKernelNamesAndUnitsBothWays) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.kernel);
    const auto unit = unit_of_kernel_name(c.kernel);
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->unit, c.unit);
    EXPECT_EQ(unit->slice, c.slice);
    EXPECT_EQ(bsd_name(*unit), c.bsd);
    EXPECT_EQ(kernel_name_of_unit(*unit), c.kernel);
    const auto parsed = parse_bsd_name(std::string("/dev/") + c.bsd);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->unit, c.unit);
    EXPECT_EQ(parsed->slice, c.slice);
  }
}

TEST(UnitTable, RefusesWhatItDoesNotCover) {
  for (const char* name : {"sd", "sda0", "sdA", "sda01", "loop", "loop1p", "loop01", "sr0p1", "nvme0", "nvme0n0",
                           "nvme0n1p0", "vda", "dm-0", "md0", "mmcblk0", ""}) {
    EXPECT_FALSE(unit_of_kernel_name(name)) << name;
  }
  // 255 is "no disk" and units between the ranges belong to no device.
  for (std::uint32_t unit : {255u, 256u, 999u, 1127u, 300000u, 301001u}) {
    EXPECT_FALSE(kernel_name_of_unit({unit, 0})) << unit;
  }
  EXPECT_FALSE(kernel_name_of_unit({192, 1}));  // optical drives have no partitions
  for (const char* name : {"disk", "disk1s", "disk1s0", "disk01", "disk-1", "disks1", "disk1x", "sda"}) {
    EXPECT_FALSE(parse_bsd_name(name)) << name;
  }
}

}  // namespace
}  // namespace berth::linux_host
