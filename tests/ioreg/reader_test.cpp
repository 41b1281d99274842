// The reader of ioreg dumps: the values of property lines in ioreg's notation, whole and
// clipped, the tree of entries, and the errors of malformed or truncated dumps.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/ioreg_dump.h"
#include "tests/ioreg/dump_support.h"

namespace berth {
namespace {

using sim::registry_from_ioreg;
using Lines = std::vector<std::string>;

// A key or value as the tests compare it: its kind, then its text, number or bytes
// (bytes outside printable ASCII as \xNN); text without an 8-bit form is "wide text".
std::string shown(const PropertyValue& value) {
  if (value.kind == ValueKind::text) return (value.c_string_ptr() ? "text " : "wide text ") + value.text;
  if (value.kind == ValueKind::number) return "number " + std::to_string(value.number);
  if (value.kind != ValueKind::data) return "other " + value.text;
  std::string text = "data ";
  for (const std::uint8_t byte : value.bytes) {
    char shown_byte[5] = {static_cast<char>(byte)};
    if (byte < 0x20 || byte >= 0x7F || byte == '\\') std::snprintf(shown_byte, sizeof shown_byte, "\\x%02X", byte);
    text += shown_byte;
  }
  return text;
}

// The tree of a dump one line per entry, two blanks a level: NAME[@LOCATION] <CLASS>,
// then " pci" when it matches IOPCIDevice, then " KEY=VALUE" per property (the value as
// shown(), a key that is not plain text as [shown()]); or the one line of its error.
void outline_entry(const sim::RegistryEntry& entry, std::size_t depth, Lines& lines) {
  std::string line = std::string(2 * depth, ' ') + entry.name + (entry.location.empty() ? "" : "@" + entry.location);
  line += " <" + entry.class_name + ">" + (entry.is_of_class("IOPCIDevice") ? " pci" : "");
  for (const auto& p : entry.props)
    line += " " + (p.key.kind == ValueKind::text && p.key.c_string_ptr() ? p.key.text : "[" + shown(p.key) + "]") + "=" +
            shown(p.value);
  lines.push_back(line);
  for (const auto& child : entry.children) outline_entry(child, depth + 1, lines);
}
Lines outline(std::string_view dump) {
  Lines lines;
  try {
    for (const auto& root : registry_from_ioreg(dump).roots) outline_entry(root, 0, lines);
  } catch (const sim::IoregDumpError& error) {
    return {error.what()};
  }
  return lines;
}

// Each line read alone as the property block of an entry "R", starting at line 3: its
// properties as outline() shows them after "R <X>", or the error.
void expect_read(const std::vector<std::pair<std::string, std::string>>& cases) {
  for (const auto& [line, read] : cases) {
    Lines got = outline("+-o R  <class X, id 0x100000100, retain 9>\n    {\n      " + line + "\n    }\n");
    if (got.size() == 1 && got[0].starts_with("R <X> ")) got[0].erase(0, 6);
    EXPECT_EQ(got, Lines{read}) << line.substr(0, 120);
  }
}

TEST(IoregValues, EachNotationIsReadAsItsKind) {
  expect_read({
      // Text is everything between the outer quotes; only plain ASCII has an 8-bit form.
      // (Texts and hex data such as "pcidebug" and "vendor-id" are read from the real dumps.)
      {R"("k" = "say "hi" now")", R"(k=text say "hi" now)"},
      {R"("k" = "")", "k=text "},
      {"\"k\" = \"\xD0\x9D\xD0\xBE\xD0\xB2\"", "k=wide text \xD0\x9D\xD0\xBE\xD0\xB2"},
      {"\"\xC3\xA9t\xC3\xA9\" = 1", "[wide text \xC3\xA9t\xC3\xA9]=number 1"},
      // Hex data is bytes; printable data the bytes of its strings with NUL between.
      {R"("k" = <>)", "k=data "},
      {R"("k" = <"pci8086,1513","pciclass,060400","UPS0">)", R"(k=data pci8086,1513\x00pciclass,060400\x00UPS0)"},
      // Numbers are 64-bit; ioreg prints the registry's patterns unsigned, so huge is negative.
      {R"("k" = 18446744073709551516)", "k=number -100"},
      {R"("k" = -100)", "k=number -100"},
      {R"("k" = 0x1b)", "k=number 27"},
      {R"("k" = 0xFFFFFFFFFFFFFFFF)", "k=number -1"},
  });
  // Booleans, collections, empty values and data of an unknown form are another kind,
  // kept as printed; nested texts may hold quotes, commas and brackets.
  for (const std::string value :
       {"Yes", "No", "<not hex>", "<abc>", R"(<"open>)", "()", "{}", "", R"({"IOACPIPlane"="IOACPIPlane","n"=5})",
        R"(({"a"=Yes,"b"=,"c"=<00>},("x","y"),[1,2]))",
        R"v({"Path"="IODeviceTree:/PCI0@0/a,b(c)","Desc"="x "y" z","d"=<"a,b","c">})v"})
    expect_read({{R"("k" = )" + value, "k=other " + value}});
}

TEST(IoregValues, ClippedValuesAndKeysAreKeptWithTheMarkAndNeverPassForWholeOnes) {
  expect_read({
      {R"("pcidebug" = "156:0:$)", R"(pcidebug=other "156:0:$)"},
      {R"("vendor-id" = <86800000$)", "vendor-id=other <86800000$"},
      {R"("BSD Unit" = 1$)", "BSD Unit=other 1$"},
      {R"("Open" = Ye$)", "Open=other Ye$"},
      {R"("BSD Unit" = $)", "BSD Unit=other $"},
      // A key cut short is not text; one cut right after its closing quote is whole.
      {R"("IOPCIExpressLink$)", R"([other "IOPCIExpressLink$]=other $)"},
      {R"("BSD Unit"$)", "BSD Unit=other $"},
      {R"("BSD Unit" =$)", "BSD Unit=other $"},
  });
}

TEST(IoregValues, MalformedValuesAreErrorsNamingTheLineWhereTheyStart) {
  const std::string long_word = "x\ty" + std::string(100, 'z');
  expect_read({
      {R"("k" = maybe)", R"(line 3: unknown value "maybe")"},
      {R"("k" = 18446744073709551616)", R"(line 3: the number "18446744073709551616" does not fit in 64 bits)"},
      {R"("k" = -9223372036854775809)", R"(line 3: the number "-9223372036854775809" does not fit in 64 bits)"},
      {R"("k" = <8680)", R"(line 3: data without its closing ">")"},
      {R"("k" = {"a"=1)", R"(line 3: expected ",", found the end of the line)"},
      {R"("k" = {"a"=1}})", "line 3: unexpected text after the value"},
      {R"("k" = {a=1})", "line 3: a dictionary key must be a quoted text"},
      {R"("k" = (1 2))", R"(line 3: unknown value "1 2")"},
      {R"("k" = (1,maybe))", R"(line 3: unknown value "maybe")"},
      {R"("k" 5)", R"(line 3: expected a property line, "key" = value)"},
      // The message quotes a short excerpt, control characters masked, so it stays one line.
      {"\"k\" = (" + long_word + ")", "line 3: unknown value \"x?y" + std::string(37, 'z') + "...\""},
      // Deep nesting is an error, not a crash.
      {"\"k\" = " + std::string(100000, '(') + std::string(100000, ')'), "line 3: values nested more than 100 deep"},
      {"\"a\" = 1\n      \"k\" = \"open", "line 4: the dump ends inside the text value that starts here"},
      {R"("k" = ("open))", "line 3: the dump ends inside the text value that starts here"},
  });
}

// The tree of a dump: entries, their depth by the column of "+-o", names, classes and
// property blocks; clipped entry lines; and malformed or truncated dumps.
TEST(IoregTree, EntriesNestByTheColumnOfTheirMarkAndKnownSubclassesMatchIOPCIDevice) {
  std::string nested = "(\"";  // a nested text over many lines, quotes in them included
  for (int i = 0; i < 20000; ++i) nested += "a\"b\n";
  nested += "\")";
  const std::pair<std::string, Lines> cases[] = {
      // Root with a child PCI0 (two children of its own) and a child AGP, as ioreg draws them.
      {"+-o Root  <class IORegistryEntry, id 0x100000100, retain 9>\n"
       "  +-o PCI0@0  <class IOACPIPlatformDevice, id 0x10000012a, registered, matched, active, busy 0 (1 ms), retain 9>\n"
       "  | +-o pci1b21,612@1F,2  <class IOPCIDevice, id 0x100000407, registered>\n"
       "  | |   {\n"
       "  | |     \"vendor-id\" = <211b0000>\n"
       "  | |   }\n"
       "  | +-o Apple UDIF, read-only (zlib)  <class IOMedia, id 0x100001d6d, retain 8>\n"
       "  +-o AGP@2  <class IOAGPDevice, id 0x100000200, retain 5>\n"
       "      {\n"
       "        \"device-id\" = <00110000>\n"
       "      }\n",
       {"Root <IORegistryEntry>", "  PCI0@0 <IOACPIPlatformDevice>",
        R"(    pci1b21,612@1F,2 <IOPCIDevice> pci vendor-id=data !\x1B\x00\x00)", "    Apple UDIF, read-only (zlib) <IOMedia>",
        R"(  AGP@2 <IOAGPDevice> pci device-id=data \x00\x11\x00\x00)"}},
      // Lines pasted from the middle of a dump, with the drawing of their ancestors.
      {"    | | +-o XHC1@14  <class IOPCIDevice, id 0x1>\n"
       "    | |   +-o AppleUSBXHCI  <class AppleUSBXHCI, id 0x2>\n"
       "    | +-o EHC1@1D  <class IOPCIDevice, id 0x3>\n",
       {"XHC1@14 <IOPCIDevice> pci", "  AppleUSBXHCI <AppleUSBXHCI>", "EHC1@1D <IOPCIDevice> pci"}},
      // Texts with line breaks run on to the line that closes them; keys keep their order.
      {"+-o Root  <class IORegistryEntry>\n    {\n      \"Version\" = \"vendorid: 0x14e4\ndeviceid: 0x43a0\n\"\n"
       "      \"PCI Slot\" = " + nested + "\n      \"Next\" = 7\n    }\n",
       {"Root <IORegistryEntry> Version=text vendorid: 0x14e4\ndeviceid: 0x43a0\n PCI Slot=other " + nested + " Next=number 7"}},
      // Windows line ends and a byte order mark.
      {"\xEF\xBB\xBF+-o Root  <class IORegistryEntry>\r\n    {\r\n      \"k\" = \"v\"\r\n    }\r\n",
       {"Root <IORegistryEntry> k=text v"}},
      // Clipped entry lines keep what shows with the mark; a class cut right after its last
      // letter may be a longer name: never matched. "+-" shows no entry that could be read.
      {"+-o Root  <class IORegistryEntry>\n  +-o PRT0@0  <class AppleAHCIP$\n  +-o XHC1@14  <class IOPCIDevice$\n"
       "  +-o PRT1@1  <cla$\n  +-o EFI System Partit$\n  +-o SSD0@$\n  +-o $\n  +-$\n  | | | | $\n"
       "  +-o PRT2@2  <class AppleAHCIPort, id 0x10000$\n",
       {"Root <IORegistryEntry>", "  PRT0@0 <AppleAHCIP$>", "  XHC1@14 <IOPCIDevice$>", "  PRT1@1 <$>",
        "  EFI System Partit$ <$>", "  SSD0@$ <$>", "  $ <$>", "  PRT2@2 <AppleAHCIPort>"}},
  };
  for (const auto& [dump, lines] : cases) EXPECT_EQ(outline(dump), lines) << dump.substr(0, 400);
}

TEST(IoregTree, AClippedDumpOfARealMachineLoadsAndItsCutValuesAreNotRead) {
  // The MacBook Pro's dump as a terminal of 100 columns shows it.
  std::istringstream lines(testing::read_dump("MacBookPro11,3.txt"));
  std::string clipped;
  for (std::string line; std::getline(lines, line);) clipped += line.size() >= 100 ? line.substr(0, 99) + "$\n" : line + "\n";
  std::size_t cut_values = 0, values = 0;
  const auto count = [&](const auto& self, const sim::RegistryEntry& entry) -> void {
    for (const auto& p : entry.props) cut_values += p.value.kind == ValueKind::other && p.value.text.ends_with('$');
    values += entry.props.size();
    for (const auto& child : entry.children) self(self, child);
  };
  count(count, registry_from_ioreg(clipped).roots.at(0));
  // Counted over the text: 768 entry lines, 5821 property lines, 520 of them 100 bytes or longer.
  EXPECT_EQ(std::vector<std::size_t>({outline(clipped).size(), cut_values, values}),
            std::vector<std::size_t>({768, 520, 5821}));
}

TEST(IoregTree, MalformedOrTruncatedDumpsAreErrorsNamingTheLine) {
  const std::string root = "+-o Root  <class IORegistryEntry>\n";
  const std::string bad_entry = "line 2: an entry line must read \"+-o NAME  <class CLASS, ...>\"";
  // The Mac Pro 6,1 cut in UPS0's "Tunnel Endpoint GUID" = <c0b80e0001000b00>, line 6415.
  const std::string mac_pro = testing::read_dump("MacPro6,1.txt");
  const std::size_t cut = mac_pro.find("\"Tunnel Endpoint GUID\" = <c0b8") + 30;
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
      {mac_pro.substr(0, cut), "line 6415: data without its closing \">\""},
      {mac_pro.substr(0, mac_pro.find('\n', cut) + 1),
       "line 6415: the dump ends inside the property block that starts at line 6394"},
  };
  for (const auto& [dump, error] : cases) EXPECT_EQ(outline(dump), Lines{error}) << dump.substr(0, 200);
}

}  // namespace
}  // namespace berth
