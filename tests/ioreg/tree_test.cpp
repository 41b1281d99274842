// The tree of a dump: entries, their depth by the column of "+-o", names, classes and
// property blocks; clipped entry lines; and malformed or truncated dumps.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/ioreg_dump.h"
#include "tests/ioreg/dump_support.h"

namespace berth {
namespace {

using sim::registry_from_ioreg;

// Root with a child A (two children of its own) and a child B, as ioreg draws them.
constexpr const char* kSmallTree =
    "+-o Root  <class IORegistryEntry, id 0x100000100, retain 9>\n"
    "  | {\n"
    "  |   \"IOKitBuildVersion\" = \"Darwin\"\n"
    "  | }\n"
    "  | \n"
    "  +-o PCI0@0  <class IOACPIPlatformDevice, id 0x10000012a, registered, matched, active, busy 0 (1 ms), retain 9>\n"
    "  | | {\n"
    "  | |   \"name\" = <\"PCI0\">\n"
    "  | | }\n"
    "  | | \n"
    "  | +-o pci1b21,612@1F,2  <class IOPCIDevice, id 0x100000407, registered>\n"
    "  | |   {\n"
    "  | |     \"vendor-id\" = <211b0000>\n"
    "  | |   }\n"
    "  | |   \n"
    "  | +-o Apple UDIF, read-only (zlib)  <class IOMedia, id 0x100001d6d, retain 8>\n"
    "  |     {\n"
    "  |     }\n"
    "  |     \n"
    "  +-o AGP@2  <class IOAGPDevice, id 0x100000200, retain 5>\n"
    "      {\n"
    "        \"device-id\" = <00110000>\n"
    "      }\n"
    "      \n";

std::string error_of(const std::string& dump) {
  try {
    registry_from_ioreg(dump);
  } catch (const sim::IoregDumpError& error) {
    return error.what();
  }
  return "";
}

TEST(IoregTree, EntriesNestByTheColumnOfTheirMark) {
  const auto model = registry_from_ioreg(kSmallTree);
  ASSERT_EQ(model.roots.size(), 1u);
  const auto& root = model.roots[0];
  EXPECT_EQ(root.name, "Root");
  EXPECT_EQ(root.class_name, "IORegistryEntry");
  ASSERT_EQ(root.children.size(), 2u);
  const auto& pci0 = root.children[0];
  EXPECT_EQ(pci0.name, "PCI0");
  EXPECT_EQ(pci0.location, "0");
  ASSERT_EQ(pci0.children.size(), 2u);
  EXPECT_EQ(pci0.children[0].name, "pci1b21,612");
  EXPECT_EQ(pci0.children[0].location, "1F,2");
  EXPECT_EQ(pci0.children[0].props.at(0).value.bytes, (std::vector<std::uint8_t>{0x21, 0x1B, 0, 0}));
  EXPECT_EQ(pci0.children[1].name, "Apple UDIF, read-only (zlib)");
  EXPECT_EQ(pci0.children[1].location, "");
  EXPECT_TRUE(pci0.children[1].props.empty());
  EXPECT_EQ(root.children[1].name, "AGP");
  EXPECT_EQ(root.props.at(0).value.text, "Darwin");
}

TEST(IoregTree, KnownSubclassesOfIOPCIDeviceAreMatchedAsIOPCIDevice) {
  const auto model = registry_from_ioreg(kSmallTree);
  const auto& agp = model.roots[0].children[1];
  EXPECT_EQ(agp.class_name, "IOAGPDevice");
  EXPECT_TRUE(agp.is_of_class("IOPCIDevice"));
  EXPECT_TRUE(model.roots[0].children[0].children[0].is_of_class("IOPCIDevice"));
  EXPECT_FALSE(model.roots[0].children[0].is_of_class("IOPCIDevice"));
  EXPECT_TRUE(model.roots[0].children[0].inherits.empty());
}

TEST(IoregTree, AnExcerptMayStartDeepAndHoldSeveralTrees) {
  // Lines pasted from the middle of a dump, with the drawing of their ancestors.
  const auto model = registry_from_ioreg(
      "    | | +-o XHC1@14  <class IOPCIDevice, id 0x1>\n"
      "    | |   +-o AppleUSBXHCI  <class AppleUSBXHCI, id 0x2>\n"
      "    | +-o EHC1@1D  <class IOPCIDevice, id 0x3>\n");
  ASSERT_EQ(model.roots.size(), 2u);
  EXPECT_EQ(model.roots[0].name, "XHC1");
  EXPECT_EQ(model.roots[0].children.at(0).name, "AppleUSBXHCI");
  EXPECT_EQ(model.roots[1].name, "EHC1");
}

TEST(IoregTree, WindowsLineEndsAndAByteOrderMarkAreAccepted) {
  const auto model = registry_from_ioreg(
      "\xEF\xBB\xBF+-o Root  <class IORegistryEntry>\r\n    {\r\n      \"k\" = \"v\"\r\n    }\r\n");
  EXPECT_EQ(model.roots.at(0).props.at(0).value.text, "v");
}

TEST(IoregTree, ClippedEntryLinesKeepWhatShowsWithTheMark) {
  const auto model = registry_from_ioreg(
      "+-o Root  <class IORegistryEntry>\n"
      "  +-o PRT0@0  <class AppleAHCIP$\n"
      "  +-o XHC1@14  <class IOPCIDevice$\n"
      "  +-o PRT1@1  <cla$\n"
      "  +-o EFI System Partit$\n"
      "  +-o SSD0@$\n"
      "  +-o $\n"
      "  +-$\n"
      "  | | | | $\n"
      "  +-o PRT2@2  <class AppleAHCIPort, id 0x10000$\n");
  const auto& children = model.roots.at(0).children;
  ASSERT_EQ(children.size(), 7u);  // "+-" shows no entry that could be read
  EXPECT_EQ(children[0].name, "PRT0");
  EXPECT_EQ(children[0].class_name, "AppleAHCIP$");
  // A class cut right after its last letter may be a longer name: never matched.
  EXPECT_EQ(children[1].class_name, "IOPCIDevice$");
  EXPECT_FALSE(children[1].is_of_class("IOPCIDevice"));
  EXPECT_EQ(children[2].name, "PRT1");
  EXPECT_EQ(children[2].location, "1");
  EXPECT_EQ(children[3].name, "EFI System Partit$");
  EXPECT_EQ(children[4].name, "SSD0");
  EXPECT_EQ(children[4].location, "$");
  EXPECT_EQ(children[5].name, "$");
  EXPECT_EQ(children[6].class_name, "AppleAHCIPort");
}

TEST(IoregTree, AClippedDumpOfARealMachineLoadsAndItsCutValuesAreNotRead) {
  // The MacBook Pro's dump as a terminal of 100 columns shows it.
  const std::string whole = testing::read_dump("MacBookPro11,3.txt");
  std::string clipped;
  for (std::size_t start = 0; start < whole.size();) {
    const auto end = std::min(whole.find('\n', start), whole.size());
    const std::string_view line(whole.data() + start, end - start);
    clipped += line.size() >= 100 ? std::string(line.substr(0, 99)) + "$\n" : std::string(line) + "\n";
    start = end + 1;
  }
  const auto model = registry_from_ioreg(clipped);
  std::size_t entries = 0, cut_values = 0, whole_values = 0;
  std::vector<const sim::RegistryEntry*> todo{&model.roots.at(0)};
  while (!todo.empty()) {
    const auto* entry = todo.back();
    todo.pop_back();
    ++entries;
    for (const auto& child : entry->children) todo.push_back(&child);
    for (const auto& p : entry->props) {
      const bool cut = p.value.kind == ValueKind::other && p.value.text.ends_with('$');
      cut ? ++cut_values : ++whole_values;
    }
  }
  // Counted over the text: 768 entry lines, 5821 property lines, 520 of them 100 bytes
  // long or longer.
  EXPECT_EQ(entries, 768u);
  EXPECT_EQ(cut_values, 520u);
  EXPECT_EQ(whole_values, 5821u - 520u);
}

TEST(IoregTree, MalformedStructureNamesTheLine) {
  const std::string root = "+-o Root  <class IORegistryEntry>\n";
  EXPECT_EQ(error_of(""), "no registry entry (\"+-o NAME  <class CLASS, ...>\") in the dump");
  EXPECT_EQ(error_of("$ ioreg -lw0\n" + root), "line 1: not a line of an ioreg dump: \"$ ioreg -lw0\"");
  EXPECT_EQ(error_of(root + "    {\n    {\n"), "line 3: a second property block for the entry at line 1");
  EXPECT_EQ(error_of(root + "      \"k\" = 1\n"), "line 2: a property line outside a property block");
  EXPECT_EQ(error_of(root + "    }\n"), "line 2: a \"}\" without a property block open");
  EXPECT_EQ(error_of("    {\n"), "line 1: a \"{\" before any entry");
  EXPECT_EQ(error_of(root + "      {\n"),
            "line 2: a \"{\" at column 7 does not line up with the entry at line 1 (expected column 5)");
  EXPECT_EQ(error_of(root + "    +-o A  <class X>\n"),
            "line 2: an entry at column 5 is more than one level below the entry at line 1 (column 1)");
  EXPECT_EQ(error_of(root + "  +-o NoClass\n"), "line 2: an entry line must read \"+-o NAME  <class CLASS, ...>\"");
  EXPECT_EQ(error_of(root + "  +-o A  <class X, id 1\n"), "line 2: an entry line must read \"+-o NAME  <class CLASS, ...>\"");
  EXPECT_EQ(error_of(root + "    {\n  +-o A  <class X>\n"),
            "line 3: an entry inside the property block that starts at line 2 (no \"}\")");
}

TEST(IoregTree, ATruncatedRealDumpIsReportedAtTheLineWhereItStops) {
  const std::string whole = testing::read_dump("MacPro6,1.txt");
  // Line 6415 is UPS0's "Tunnel Endpoint GUID" = <c0b80e0001000b00>; cut inside it.
  std::size_t at = 0;
  for (int line = 1; line < 6415; ++line) at = whole.find('\n', at) + 1;
  const std::size_t cut = whole.find("<c0b8", at) + 5;
  EXPECT_EQ(error_of(whole.substr(0, cut)), "line 6415: data without its closing \">\"");
  // Cut at the end of that line: the property block is never closed.
  EXPECT_EQ(error_of(whole.substr(0, whole.find('\n', cut) + 1)),
            "line 6415: the dump ends inside the property block that starts at line 6394");
}

TEST(IoregTree, AFileThatCannotBeReadIsAnErrorWithoutALine) {
  try {
    sim::load_ioreg_dump("/nonexistent/dump.txt");
    FAIL();
  } catch (const sim::IoregDumpError& error) {
    EXPECT_EQ(error.line(), 0u);
    EXPECT_EQ(sim::describe("/nonexistent/dump.txt", error), "/nonexistent/dump.txt: cannot open the file");
  }
}

}  // namespace
}  // namespace berth
