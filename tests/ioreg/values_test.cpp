// Reading the values of property lines in ioreg's notation, whole and clipped, and the
// errors of malformed ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/ioreg_dump.h"
#include "tests/ioreg/dump_support.h"

namespace berth {
namespace {

using sim::registry_from_ioreg;
using testing::error_of;
using testing::shown;

// A dump of one entry without children whose property block holds these lines; the
// first of them is line 3.
std::string one_entry(std::initializer_list<std::string_view> property_lines) {
  std::string text = "+-o Root  <class IORegistryEntry, id 0x100000100, retain 9>\n    {\n";
  for (auto line : property_lines) text += "      " + std::string(line) + "\n";
  return text + "    }\n";
}

struct LineCase {
  std::string line;
  std::string read;  // "KEY = VALUE", both as shown()
};

// Reads each line alone as the only property of an entry.
void expect_read(std::initializer_list<LineCase> cases) {
  for (const LineCase& c : cases) {
    std::string read;
    try {
      const auto props = registry_from_ioreg(one_entry({c.line})).roots.at(0).props;
      read = props.size() == 1 ? shown(props[0].key) + " = " + shown(props[0].value) : "not one property";
    } catch (const sim::IoregDumpError& error) {
      read = error.what();
    }
    EXPECT_EQ(read, c.read) << c.line;
  }
}

TEST(IoregValues, EachNotationIsReadAsItsKind) {
  expect_read({
      // Text is everything between the outer quotes; only plain ASCII has an 8-bit form.
      {R"v("pcidebug" = "156:0:0(157:160)")v", "text pcidebug = text 156:0:0(157:160)"},
      {R"("k" = "say "hi" now")", R"(text k = text say "hi" now)"},
      {R"("k" = "")", "text k = text "},
      {"\"k\" = \"\xD0\x9D\xD0\xBE\xD0\xB2\"", "text k = wide text \xD0\x9D\xD0\xBE\xD0\xB2"},
      {"\"\xC3\xA9t\xC3\xA9\" = 1", "wide text \xC3\xA9t\xC3\xA9 = number 1"},
      // Hex data is bytes; printable data the bytes of its strings with NUL between.
      {R"("k" = <86800000>)", R"(text k = data \x86\x80\x00\x00)"},
      {R"("k" = <C0B80E0001000B00>)", R"(text k = data \xC0\xB8\x0E\x00\x01\x00\x0B\x00)"},
      {R"("k" = <>)", "text k = data "},
      {R"("k" = <"MacPro6,1">)", "text k = data MacPro6,1"},
      {R"("k" = <"pci8086,1513","pciclass,060400","UPS0">)", R"(text k = data pci8086,1513\x00pciclass,060400\x00UPS0)"},
      // Data of an unknown form is kept as printed and is not data.
      {R"("k" = <not hex>)", "text k = other <not hex>"},
      {R"("k" = <abc>)", "text k = other <abc>"},
      {R"("k" = <"open>)", R"(text k = other <"open>)"},
      // Numbers are 64-bit; ioreg prints the registry's patterns unsigned, so huge is negative.
      {R"("k" = 4)", "text k = number 4"},
      {R"("k" = 8000886079488)", "text k = number 8000886079488"},
      {R"("k" = 18446744073709551516)", "text k = number -100"},
      {R"("k" = -100)", "text k = number -100"},
      {R"("k" = 0x1b)", "text k = number 27"},
      {R"("k" = 0xFFFFFFFFFFFFFFFF)", "text k = number -1"},
      // Booleans, collections and empty values are another kind, kept as printed.
      {R"("k" = Yes)", "text k = other Yes"},
      {R"("k" = No)", "text k = other No"},
      {R"("k" = {"IOACPIPlane"="IOACPIPlane","n"=5})", R"(text k = other {"IOACPIPlane"="IOACPIPlane","n"=5})"},
      {R"("k" = ({"a"=Yes,"b"=,"c"=<00>},("x","y"),[1,2]))", R"(text k = other ({"a"=Yes,"b"=,"c"=<00>},("x","y"),[1,2]))"},
      {R"("k" = ("io-apic-1","IOPCIMessagedInterruptController"))",
       R"(text k = other ("io-apic-1","IOPCIMessagedInterruptController"))"},
      {R"("k" = ())", "text k = other ()"},
      {R"("k" = {})", "text k = other {}"},
      {R"("k" = )", "text k = other "},
      // Nested texts may hold quotes, commas and brackets.
      {R"v("k" = {"Path"="IODeviceTree:/PCI0@0/a,b(c)","Desc"="x "y" z","d"=<"a,b","c">})v",
       R"v(text k = other {"Path"="IODeviceTree:/PCI0@0/a,b(c)","Desc"="x "y" z","d"=<"a,b","c">})v"},
  });
}

TEST(IoregValues, ClippedValuesAndKeysAreKeptWithTheMarkAndNeverPassForWholeOnes) {
  expect_read({
      {R"("pcidebug" = "156:0:$)", R"(text pcidebug = other "156:0:$)"},
      {R"("vendor-id" = <8680$)", "text vendor-id = other <8680$"},
      {R"("vendor-id" = <86800000$)", "text vendor-id = other <86800000$"},
      {R"("BSD Unit" = 1$)", "text BSD Unit = other 1$"},
      {R"("Open" = Ye$)", "text Open = other Ye$"},
      {R"("BSD Unit" = $)", "text BSD Unit = other $"},
      // A key cut short is not text; one cut right after its closing quote is whole.
      {R"("IOPCIExpressLink$)", R"(other "IOPCIExpressLink$ = other $)"},
      {R"("BSD Unit"$)", "text BSD Unit = other $"},
      {R"("BSD Unit" $)", "text BSD Unit = other $"},
      {R"("BSD Unit" =$)", "text BSD Unit = other $"},
  });
}

TEST(IoregValues, TextsWithLineBreaksRunOnToTheLineThatClosesThemAndKeysKeepTheirOrder) {
  // A nested text over many lines, quotes in them included.
  std::string nested = "(\"";
  for (int i = 0; i < 20000; ++i) nested += "a\"b\n";
  nested += "\")";
  const auto model = registry_from_ioreg("+-o Root  <class IORegistryEntry>\n    {\n"
                                         "      \"Version\" = \"vendorid: 0x14e4\ndeviceid: 0x43a0\n\"\n"
                                         "      \"PCI Slot\" = " + nested + "\n      \"Next\" = 7\n    }\n");
  std::vector<std::string> props;
  for (const auto& p : model.roots.at(0).props) props.push_back(shown(p.key) + " = " + shown(p.value));
  EXPECT_EQ(props, (std::vector<std::string>{"text Version = text vendorid: 0x14e4\ndeviceid: 0x43a0\n",
                                             "text PCI Slot = other " + nested, "text Next = number 7"}));
}

TEST(IoregValues, MalformedValuesAreErrorsNamingTheLineWhereTheyStart) {
  const std::string long_word = "x\ty" + std::string(100, 'z');
  const std::pair<std::string, std::string> cases[] = {
      {one_entry({R"("k" = maybe)"}), R"(line 3: unknown value "maybe")"},
      {one_entry({R"("k" = 18446744073709551616)"}), R"(line 3: the number "18446744073709551616" does not fit in 64 bits)"},
      {one_entry({R"("k" = -9223372036854775809)"}), R"(line 3: the number "-9223372036854775809" does not fit in 64 bits)"},
      {one_entry({R"("k" = <8680)"}), R"(line 3: data without its closing ">")"},
      {one_entry({R"("k" = {"a"=1)"}), R"(line 3: expected ",", found the end of the line)"},
      {one_entry({R"("k" = {"a"=1}})"}), "line 3: unexpected text after the value"},
      {one_entry({R"("k" = {a=1})"}), "line 3: a dictionary key must be a quoted text"},
      {one_entry({R"("k" = (1 2))"}), R"(line 3: unknown value "1 2")"},
      {one_entry({R"("k" = (1,maybe))"}), R"(line 3: unknown value "maybe")"},
      {one_entry({R"("k" 5)"}), R"(line 3: expected a property line, "key" = value)"},
      // The message quotes a short excerpt, control characters masked, so it stays one line.
      {one_entry({"\"k\" = (" + long_word + ")"}), "line 3: unknown value \"x?y" + std::string(37, 'z') + "...\""},
      // Deep nesting is an error, not a crash.
      {one_entry({"\"k\" = " + std::string(100000, '(') + std::string(100000, ')')}),
       "line 3: values nested more than 100 deep"},
      {one_entry({R"("a" = 1)", R"("k" = "open)"}), "line 4: the dump ends inside the text value that starts here"},
      {one_entry({R"("k" = ("open))"}), "line 3: the dump ends inside the text value that starts here"},
  };
  for (const auto& [dump, error] : cases) EXPECT_EQ(error_of(dump), error) << dump.substr(0, 120);
}

}  // namespace
}  // namespace berth
