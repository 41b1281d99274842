#include "platform/sim/ioreg_values.h"

#include <charconv>
#include <string>

#include "platform/sim/ioreg_lines.h"

namespace berth::sim::ioreg {
namespace {

constexpr std::string_view kKeySeparator = "\" = ";
constexpr std::string_view kPrintableSeparator = "\",\"";
// Deeper nesting than any registry shows; the limit keeps the scanner's stack small.
constexpr std::size_t kMaxNesting = 100;

bool is_ascii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// The value of a hex digit, or -1.
int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ioreg prints text as it is, without escapes; plain ASCII text is the kind the
// registry also gives as an 8-bit C string, other text is not.
PropertyValue text_value(std::string_view text) { return PropertyValue::make_text(std::string(text), is_ascii(text)); }

PropertyValue clipped_value(std::string_view visible) {
  return PropertyValue::make_other(std::string(visible) + kClipMark);
}

std::uint64_t read_unsigned(std::string_view digits, int base, std::string_view word) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (error == std::errc::result_out_of_range)
    throw ValueError("the number " + quoted_excerpt(word) + " does not fit in 64 bits");
  if (error != std::errc{} || end != digits.data() + digits.size())
    throw ValueError("unknown value " + quoted_excerpt(word));
  return value;
}

// Yes, No or an integer; throws for any other bare word.
PropertyValue word_value(std::string_view word) {
  if (word == "Yes" || word == "No") return PropertyValue::make_other(std::string(word));
  // The registry's numbers are 64-bit patterns; ioreg shows them unsigned.
  if (word.starts_with("0x") || word.starts_with("0X"))
    return PropertyValue::make_number(static_cast<std::int64_t>(read_unsigned(word.substr(2), 16, word)));
  if (word.starts_with('-')) {
    const std::uint64_t magnitude = read_unsigned(word.substr(1), 10, word);
    if (magnitude > std::uint64_t{1} << 63)
      throw ValueError("the number " + quoted_excerpt(word) + " does not fit in 64 bits");
    return PropertyValue::make_number(static_cast<std::int64_t>(0 - magnitude));
  }
  return PropertyValue::make_number(static_cast<std::int64_t>(read_unsigned(word, 10, word)));
}

std::optional<std::vector<std::uint8_t>> hex_bytes(std::string_view digits) {
  if (digits.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(digits.size() / 2);
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int high = hex_digit(digits[i]);
    const int low = hex_digit(digits[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

// `"a","b"`: the bytes of the strings with a NUL between them.
std::optional<std::vector<std::uint8_t>> printable_bytes(std::string_view inner) {
  if (inner.size() < 2 || inner.front() != '"' || inner.back() != '"') return std::nullopt;
  inner = inner.substr(1, inner.size() - 2);
  std::vector<std::uint8_t> bytes;
  for (std::size_t start = 0;;) {
    const auto end = inner.find(kPrintableSeparator, start);
    const auto part = inner.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    bytes.insert(bytes.end(), part.begin(), part.end());
    if (end == std::string_view::npos) return bytes;
    bytes.push_back(0);
    start = end + kPrintableSeparator.size();
  }
}

constexpr const char* kEndsInsideText = "the dump ends inside the text value that starts here";

// The next line of the dump, as the continuation of a text with a line break in it.
void append_next_line(std::string& text, const NextLine& next_line) {
  const auto line = next_line();
  if (!line) throw ValueError(kEndsInsideText);
  text += '\n';
  text += *line;
}

// Steps over a value nested in a dictionary, array or set, checking its shape; a text
// without its closing quote on this line takes the next lines in.
class NestedScanner {
 public:
  NestedScanner(std::string& text, const NextLine& next_line) : text_(text), next_line_(next_line) {}

  void value(std::size_t depth) {
    if (depth > kMaxNesting) throw ValueError("values nested more than " + std::to_string(kMaxNesting) + " deep");
    switch (peek()) {
      case '"': return quoted(",}])");
      case '<': return data();
      case '{': return collection('}', true, depth);
      case '(': return collection(')', false, depth);
      case '[': return collection(']', false, depth);
      case ',': case '}': case ')': case ']': return;  // a value ioreg printed as nothing
      case '\0':
        if (pos_ >= text_.size()) throw ValueError("the line ends where a value should be");
        [[fallthrough]];
      default: return word();
    }
  }

  bool at_end() const { return pos_ == text_.size(); }

 private:
  char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

  void expect(char wanted) {
    if (peek() != wanted) {
      const std::string found = at_end() ? "the end of the line" : quoted_excerpt(std::string_view(&text_[pos_], 1));
      throw ValueError("expected \"" + std::string(1, wanted) + "\", found " + found);
    }
    ++pos_;
  }

  // A text ends at a quote followed by what may follow a value here (texts are not
  // escaped, so a quote inside one is taken as part of it).
  void quoted(std::string_view followers) {
    ++pos_;
    for (;;) {
      const auto quote = text_.find('"', pos_);
      if (quote == std::string::npos) {
        pos_ = text_.size();
        append_next_line(text_, next_line_);
        continue;
      }
      pos_ = quote + 1;
      if (at_end() || followers.find(peek()) != std::string_view::npos) return;
    }
  }

  void data() {
    ++pos_;
    if (peek() != '"') {
      const auto end = text_.find('>', pos_);
      if (end == std::string::npos) throw ValueError("data without its closing \">\"");
      pos_ = end + 1;
      return;
    }
    for (;;) {
      quoted(",>");
      if (peek() == '>') break;
      expect(',');
      if (peek() != '"') expect('"');
    }
    ++pos_;
  }

  void collection(char close, bool keyed, std::size_t depth) {
    ++pos_;
    if (peek() == close) {
      ++pos_;
      return;
    }
    for (;;) {
      if (keyed) {
        if (peek() != '"') throw ValueError("a dictionary key must be a quoted text");
        quoted("=");
        expect('=');
      }
      value(depth + 1);
      if (peek() == close) break;
      expect(',');
    }
    ++pos_;
  }

  void word() {
    const std::size_t start = pos_;
    while (!at_end() && std::string_view(",}])=").find(peek()) == std::string_view::npos) ++pos_;
    word_value(text_.substr(start, pos_ - start));
  }

  std::string& text_;
  const NextLine& next_line_;
  std::size_t pos_ = 0;
};

PropertyValue data_value(std::string_view text) {
  if (!text.ends_with('>')) throw ValueError("data without its closing \">\"");
  const auto inner = text.substr(1, text.size() - 2);
  if (auto bytes = hex_bytes(inner)) return PropertyValue::make_data(std::move(*bytes));
  if (auto bytes = printable_bytes(inner)) return PropertyValue::make_data(std::move(*bytes));
  // Something this reader does not know as data: kept as printed, and not as data.
  return PropertyValue::make_other(std::string(text));
}

PropertyValue collection_value(std::string text, const NextLine& next_line) {
  NestedScanner scanner(text, next_line);
  scanner.value(0);
  if (!scanner.at_end()) throw ValueError("unexpected text after the value");
  return PropertyValue::make_other(std::move(text));
}

// A text ends with the first line that ends in a quote.
PropertyValue text_until_closed(std::string text, const NextLine& next_line) {
  while (text.size() < 2 || !text.ends_with('"')) append_next_line(text, next_line);
  return text_value(std::string_view(text).substr(1, text.size() - 2));
}

// A whole (unclipped) value, which runs to the end of the line.
PropertyValue read_value(std::string_view text, const NextLine& next_line) {
  if (text.empty()) return PropertyValue::make_other();
  switch (text.front()) {
    case '"': return text_until_closed(std::string(text), next_line);
    case '<': return data_value(text);
    case '{': case '(': case '[': return collection_value(std::string(text), next_line);
    default: return word_value(text);
  }
}

// A clipped line without the key separator: the key is whole when what follows its
// closing quote is the start of the separator.
Property clipped_key_only(std::string_view content) {
  const auto quote = content.rfind('"');
  if (quote > 0 && kKeySeparator.starts_with(content.substr(quote)))
    return {text_value(content.substr(1, quote - 1)), clipped_value("")};
  return {clipped_value(content), clipped_value("")};
}

}  // namespace

Property read_property(std::string_view content, bool clipped, const NextLine& next_line) {
  const auto separator = content.find(kKeySeparator, 1);
  if (separator == std::string_view::npos) {
    if (clipped) return clipped_key_only(content);
    throw ValueError("expected a property line, \"key\" = value");
  }
  PropertyValue key = text_value(content.substr(1, separator - 1));
  const auto value_text = content.substr(separator + kKeySeparator.size());
  if (clipped) return Property{std::move(key), clipped_value(value_text)};
  return Property{std::move(key), read_value(value_text, next_line)};
}

}  // namespace berth::sim::ioreg
