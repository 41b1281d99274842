// Reading the values of property lines in ioreg's notation, whole and clipped.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/ioreg_dump.h"

namespace berth {
namespace {

using sim::registry_from_ioreg;

// A dump of one entry without children whose property block holds these lines.
std::string one_entry(std::initializer_list<std::string_view> property_lines) {
  std::string text = "+-o Root  <class IORegistryEntry, id 0x100000100, retain 9>\n    {\n";
  for (auto line : property_lines) text += "      " + std::string(line) + "\n";
  return text + "    }\n";
}

Property property_of(std::string_view line) {
  const auto model = registry_from_ioreg(one_entry({line}));
  EXPECT_EQ(model.roots.at(0).props.size(), 1u) << line;
  return model.roots.at(0).props.at(0);
}

PropertyValue value_of(std::string_view line) { return property_of(line).value; }

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

// The error a dump gives, "" when it loads.
std::string error_of(const std::string& dump) {
  try {
    registry_from_ioreg(dump);
  } catch (const sim::IoregDumpError& error) {
    return error.what();
  }
  return "";
}

TEST(IoregValues, KeysAreTextInTheirOrder) {
  const auto model = registry_from_ioreg(one_entry({R"("b" = 1)", R"("a" = 2)", R"("PCI Slot Name" = 3)"}));
  const auto& props = model.roots[0].props;
  ASSERT_EQ(props.size(), 3u);
  EXPECT_STREQ(props[0].key.c_string_ptr(), "b");
  EXPECT_STREQ(props[1].key.c_string_ptr(), "a");
  EXPECT_STREQ(props[2].key.c_string_ptr(), "PCI Slot Name");
}

TEST(IoregValues, TextIsEverythingBetweenTheOuterQuotes) {
  const auto v = value_of(R"v("pcidebug" = "156:0:0(157:160)")v");
  ASSERT_EQ(v.kind, ValueKind::text);
  EXPECT_STREQ(v.c_string_ptr(), "156:0:0(157:160)");
  EXPECT_EQ(value_of(R"("Name" = "say "hi" now")").text, R"(say "hi" now)");
  EXPECT_EQ(value_of(R"("Empty" = "")").kind, ValueKind::text);
}

TEST(IoregValues, TextOutsideAsciiHasNo8BitForm) {
  const auto v = value_of("\"Volume\" = \"\xD0\x9D\xD0\xBE\xD0\xB2\xD1\x8B\xD0\xB9\"");
  ASSERT_EQ(v.kind, ValueKind::text);
  EXPECT_EQ(v.c_string_ptr(), nullptr);
  EXPECT_EQ(property_of("\"\xC3\xA9t\xC3\xA9\" = 1").key.c_string_ptr(), nullptr);
}

TEST(IoregValues, TextWithLineBreaksRunsOnToTheLineThatCloses) {
  const auto model = registry_from_ioreg(
      "+-o Root  <class IORegistryEntry>\n    {\n      \"Version\" = \"vendorid: 0x14e4\ndeviceid: 0x43a0\n\"\n"
      "      \"Next\" = 1\n    }\n");
  const auto& props = model.roots[0].props;
  ASSERT_EQ(props.size(), 2u);
  EXPECT_EQ(props[0].value.text, "vendorid: 0x14e4\ndeviceid: 0x43a0\n");
  EXPECT_EQ(props[1].value.number, 1);
}

TEST(IoregValues, ANestedTextRunsOnOverManyLinesQuotesInThemIncluded) {
  std::string value = "(\"";
  for (int i = 0; i < 20000; ++i) value += "a\"b\n";
  value += "\")";
  const auto model =
      registry_from_ioreg("+-o Root  <class IORegistryEntry>\n    {\n      \"k\" = " + value + "\n      \"n\" = 7\n    }\n");
  const auto& props = model.roots.at(0).props;
  ASSERT_EQ(props.size(), 2u);
  EXPECT_EQ(props[0].value.kind, ValueKind::other);
  EXPECT_EQ(props[0].value.text, value);
  EXPECT_EQ(props[1].value.number, 7);
}

TEST(IoregValues, HexDataIsBytes) {
  const auto v = value_of(R"("vendor-id" = <86800000>)");
  ASSERT_EQ(v.kind, ValueKind::data);
  EXPECT_EQ(v.bytes, (std::vector<std::uint8_t>{0x86, 0x80, 0x00, 0x00}));
  EXPECT_EQ(value_of(R"("GUID" = <C0B80E0001000B00>)").bytes,
            (std::vector<std::uint8_t>{0xC0, 0xB8, 0x0E, 0x00, 0x01, 0x00, 0x0B, 0x00}));
  const auto empty = value_of(R"("IODTPersist" = <>)");
  EXPECT_EQ(empty.kind, ValueKind::data);
  EXPECT_TRUE(empty.bytes.empty());
}

TEST(IoregValues, PrintableDataIsTheBytesOfItsStringsWithNulBetween) {
  EXPECT_EQ(value_of(R"("compatible" = <"MacPro6,1">)").bytes, bytes("MacPro6,1"));
  EXPECT_EQ(value_of(R"("compatible" = <"pci8086,1513","pciclass,060400","UPS0">)").bytes,
            bytes(std::string_view("pci8086,1513\0pciclass,060400\0UPS0", 33)));
}

TEST(IoregValues, DataOfAnUnknownFormIsKeptAsPrintedAndIsNotData) {
  for (const char* text : {"<not hex>", "<abc>", "<\"open>"}) {
    const auto v = value_of(std::string("\"k\" = ") + text);
    EXPECT_EQ(v.kind, ValueKind::other) << text;
    EXPECT_EQ(v.text, text);
  }
}

TEST(IoregValues, NumbersAre64BitWithHugeOnesNegative) {
  EXPECT_EQ(value_of(R"("BSD Unit" = 4)").number, 4);
  EXPECT_EQ(value_of(R"("Size" = 8000886079488)").number, 8000886079488);
  // ioreg shows the registry's 64-bit patterns unsigned: this is -100.
  EXPECT_EQ(value_of(R"("IOProbeScore" = 18446744073709551516)").number, -100);
  EXPECT_EQ(value_of(R"("IOProbeScore" = -100)").number, -100);
  EXPECT_EQ(value_of(R"("PortNum" = 0x1b)").number, 0x1B);
  EXPECT_EQ(value_of(R"("Mask" = 0xFFFFFFFFFFFFFFFF)").number, -1);
  EXPECT_EQ(value_of(R"("PortNum" = 2)").kind, ValueKind::number);
}

TEST(IoregValues, BooleansCollectionsAndEmptyValuesAreAnotherKindKeptAsPrinted) {
  for (const char* text :
       {"Yes", "No", R"({"IOACPIPlane"="IOACPIPlane","n"=5})", R"(({"a"=Yes,"b"=,"c"=<00>},("x","y"),[1,2]))",
        R"(("io-apic-1","IOPCIMessagedInterruptController"))", "()", "{}", ""}) {
    const auto v = value_of(std::string("\"k\" = ") + text);
    EXPECT_EQ(v.kind, ValueKind::other) << text;
    EXPECT_EQ(v.text, text);
  }
}

TEST(IoregValues, NestedTextsMayHoldQuotesCommasAndBrackets) {
  const char* text = R"v({"Path"="IODeviceTree:/PCI0@0/a,b(c)","Desc"="x "y" z","d"=<"a,b","c">})v";
  EXPECT_EQ(value_of(std::string("\"k\" = ") + text).text, text);
}

TEST(IoregValues, ClippedValuesAreKeptWithTheMarkAndNeverPassForWholeOnes) {
  struct Case {
    const char* line;
    const char* key;
    const char* kept;
  };
  for (const Case& c : {Case{R"("pcidebug" = "156:0:$)", "pcidebug", R"("156:0:$)"},
                        Case{R"("vendor-id" = <8680$)", "vendor-id", "<8680$"},
                        Case{R"("vendor-id" = <86800000$)", "vendor-id", "<86800000$"},
                        Case{R"("BSD Unit" = 1$)", "BSD Unit", "1$"}, Case{R"("Open" = Ye$)", "Open", "Ye$"},
                        Case{R"("BSD Unit" = $)", "BSD Unit", "$"}}) {
    const auto p = property_of(c.line);
    EXPECT_STREQ(p.key.c_string_ptr(), c.key) << c.line;
    EXPECT_EQ(p.value.kind, ValueKind::other) << c.line;
    EXPECT_EQ(p.value.text, c.kept) << c.line;
  }
}

TEST(IoregValues, AClippedKeyIsNotText) {
  const auto cut_in_key = property_of(R"("IOPCIExpressLink$)");
  EXPECT_EQ(cut_in_key.key.kind, ValueKind::other);
  EXPECT_EQ(cut_in_key.key.text, R"("IOPCIExpressLink$)");
  EXPECT_EQ(cut_in_key.value.text, "$");
  // Cut right after the key's closing quote: the key is whole, the value is not there.
  for (const char* line : {R"("BSD Unit"$)", R"("BSD Unit" $)", R"("BSD Unit" =$)"}) {
    const auto p = property_of(line);
    EXPECT_STREQ(p.key.c_string_ptr(), "BSD Unit") << line;
    EXPECT_EQ(p.value.kind, ValueKind::other) << line;
  }
}

TEST(IoregValues, MalformedValuesNameTheirLine) {
  // The property line is line 3 of these dumps.
  EXPECT_EQ(error_of(one_entry({R"("k" = maybe)"})), R"(line 3: unknown value "maybe")");
  EXPECT_EQ(error_of(one_entry({R"("k" = 18446744073709551616)"})),
            R"(line 3: the number "18446744073709551616" does not fit in 64 bits)");
  EXPECT_EQ(error_of(one_entry({R"("k" = -9223372036854775809)"})),
            R"(line 3: the number "-9223372036854775809" does not fit in 64 bits)");
  EXPECT_EQ(error_of(one_entry({R"("k" = <8680)"})), R"(line 3: data without its closing ">")");
  EXPECT_EQ(error_of(one_entry({R"("k" = {"a"=1)"})), R"(line 3: expected ",", found the end of the line)");
  EXPECT_EQ(error_of(one_entry({R"("k" = {"a"=1}})"})), "line 3: unexpected text after the value");
  EXPECT_EQ(error_of(one_entry({R"("k" = {a=1})"})), "line 3: a dictionary key must be a quoted text");
  EXPECT_EQ(error_of(one_entry({R"("k" = (1 2))"})), R"(line 3: unknown value "1 2")");
  EXPECT_EQ(error_of(one_entry({R"("k" = (1,maybe))"})), R"(line 3: unknown value "maybe")");
  EXPECT_EQ(error_of(one_entry({R"("k" 5)"})), R"(line 3: expected a property line, "key" = value)");
}

TEST(IoregValues, ErrorMessagesQuoteAShortExcerptOnOneLine) {
  const std::string word = "x\ty" + std::string(100, 'z');
  EXPECT_EQ(error_of(one_entry({"\"k\" = (" + word + ")"})),
            "line 3: unknown value \"x?y" + std::string(37, 'z') + "...\"");
}

TEST(IoregValues, DeepNestingIsAnErrorNotACrash) {
  const std::string deep = "\"k\" = " + std::string(100000, '(') + std::string(100000, ')');
  EXPECT_EQ(error_of(one_entry({deep})), "line 3: values nested more than 100 deep");
}

TEST(IoregValues, ATextThatNeverClosesIsReportedAtTheLineWhereItStarts) {
  EXPECT_EQ(error_of(one_entry({R"("a" = 1)", R"("k" = "open)"})),
            "line 4: the dump ends inside the text value that starts here");
  EXPECT_EQ(error_of(one_entry({R"("k" = ("open))"})), "line 3: the dump ends inside the text value that starts here");
}

}  // namespace
}  // namespace berth
