// The tree of a dump: entries, their depth by the column of "+-o", names, classes and
// property blocks; clipped entry lines; and malformed or truncated dumps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/ioreg_dump.h"
#include "tests/ioreg/dump_support.h"

namespace berth {
namespace {

using sim::registry_from_ioreg;
using testing::error_of;
using testing::outline;
using Lines = std::vector<std::string>;

TEST(IoregTree, EntriesNestByTheColumnOfTheirMarkAndKnownSubclassesMatchIOPCIDevice) {
  // Root with a child PCI0 (two children of its own) and a child AGP, as ioreg draws them.
  const auto model = registry_from_ioreg(
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
      "      \n");
  EXPECT_EQ(outline(model), (Lines{"Root <IORegistryEntry> IOKitBuildVersion=text Darwin",
                                   "  PCI0@0 <IOACPIPlatformDevice> name=data PCI0",
                                   R"(    pci1b21,612@1F,2 <IOPCIDevice> pci vendor-id=data !\x1B\x00\x00)",
                                   "    Apple UDIF, read-only (zlib) <IOMedia>",
                                   R"(  AGP@2 <IOAGPDevice> pci device-id=data \x00\x11\x00\x00)"}));
}

TEST(IoregTree, AnExcerptMayStartDeepAndHoldSeveralTrees) {
  // Lines pasted from the middle of a dump, with the drawing of their ancestors.
  EXPECT_EQ(outline(registry_from_ioreg("    | | +-o XHC1@14  <class IOPCIDevice, id 0x1>\n"
                                        "    | |   +-o AppleUSBXHCI  <class AppleUSBXHCI, id 0x2>\n"
                                        "    | +-o EHC1@1D  <class IOPCIDevice, id 0x3>\n")),
            (Lines{"XHC1@14 <IOPCIDevice> pci", "  AppleUSBXHCI <AppleUSBXHCI>", "EHC1@1D <IOPCIDevice> pci"}));
}

TEST(IoregTree, WindowsLineEndsAndAByteOrderMarkAreAccepted) {
  const auto model =
      registry_from_ioreg("\xEF\xBB\xBF+-o Root  <class IORegistryEntry>\r\n    {\r\n      \"k\" = \"v\"\r\n    }\r\n");
  EXPECT_EQ(outline(model), (Lines{"Root <IORegistryEntry> k=text v"}));
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
  // A class cut right after its last letter may be a longer name: never matched.
  // "+-" shows no entry that could be read.
  EXPECT_EQ(outline(model), (Lines{"Root <IORegistryEntry>", "  PRT0@0 <AppleAHCIP$>", "  XHC1@14 <IOPCIDevice$>",
                                   "  PRT1@1 <$>", "  EFI System Partit$ <$>", "  SSD0@$ <$>", "  $ <$>",
                                   "  PRT2@2 <AppleAHCIPort>"}));
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

TEST(IoregTree, MalformedStructureIsAnErrorNamingTheLine) {
  const std::string root = "+-o Root  <class IORegistryEntry>\n";
  const std::string bad_entry = "line 2: an entry line must read \"+-o NAME  <class CLASS, ...>\"";
  const std::pair<std::string, std::string> cases[] = {
      {"", "no registry entry (\"+-o NAME  <class CLASS, ...>\") in the dump"},
      {"$ ioreg -lw0\n" + root, "line 1: not a line of an ioreg dump: \"$ ioreg -lw0\""},
      {root + "    {\n    {\n", "line 3: a second property block for the entry at line 1"},
      {root + "      \"k\" = 1\n", "line 2: a property line outside a property block"},
      {root + "    }\n", "line 2: a \"}\" without a property block open"},
      {"    {\n", "line 1: a \"{\" before any entry"},
      {root + "      {\n", "line 2: a \"{\" at column 7 does not line up with the entry at line 1 (expected column 5)"},
      {root + "    +-o A  <class X>\n",
       "line 2: an entry at column 5 is more than one level below the entry at line 1 (column 1)"},
      {root + "  +-o NoClass\n", bad_entry},
      {root + "  +-o A  <class X, id 1\n", bad_entry},
      {root + "    {\n  +-o A  <class X>\n", "line 3: an entry inside the property block that starts at line 2 (no \"}\")"},
  };
  for (const auto& [dump, error] : cases) EXPECT_EQ(error_of(dump), error) << dump;
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

}  // namespace
}  // namespace berth
