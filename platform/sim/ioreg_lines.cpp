#include "platform/sim/ioreg_lines.h"

namespace berth::sim::ioreg {
namespace {

constexpr std::string_view kEntryMark = "+-o";
constexpr std::string_view kClassMark = "  <class ";

std::string with_clip_mark(std::string_view visible) { return std::string(visible) + kClipMark; }

bool is_tree_drawing(char c) { return c == ' ' || c == '|'; }

LineKind kind_of(std::string_view content, bool clipped) {
  if (content.empty()) return LineKind::blank;
  if (content.starts_with(kEntryMark)) return LineKind::entry;
  // A line cut inside the entry mark shows no entry that could be read.
  if (clipped && kEntryMark.starts_with(content)) return LineKind::blank;
  if (content == "{") return LineKind::open_block;
  if (content == "}") return LineKind::close_block;
  if (content.front() == '"') return LineKind::property;
  return LineKind::unknown;
}

// Name and location, split at the "@"; a part that may have been cut gets the mark.
void split_name(std::string_view name_and_location, bool whole, EntryLine& entry) {
  const auto at = name_and_location.find('@');
  if (at == std::string_view::npos) {
    entry.name = whole ? std::string(name_and_location) : with_clip_mark(name_and_location);
    return;
  }
  entry.name = std::string(name_and_location.substr(0, at));
  const auto location = name_and_location.substr(at + 1);
  entry.location = whole ? std::string(location) : with_clip_mark(location);
}

// A clipped entry line: whatever shows of the name, location and class.
EntryLine read_clipped_entry(std::string_view rest) {
  EntryLine entry;
  const auto class_at = rest.rfind(kClassMark);
  if (class_at == std::string_view::npos) {
    // Cut before the class: the name is whole only when the blanks before "<" show.
    const auto blanks = rest.find("  <");
    split_name(rest.substr(0, blanks), blanks != std::string_view::npos, entry);
    entry.class_name = with_clip_mark("");
    return entry;
  }
  split_name(rest.substr(0, class_at), true, entry);
  const auto class_text = rest.substr(class_at + kClassMark.size());
  const auto end = class_text.find_first_of(",>");
  entry.class_name = end == std::string_view::npos ? with_clip_mark(class_text) : std::string(class_text.substr(0, end));
  return entry;
}

}  // namespace

LineReader::LineReader(std::string_view text) : rest_(text) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (rest_.starts_with(kByteOrderMark)) rest_.remove_prefix(kByteOrderMark.size());
}

std::optional<std::string_view> LineReader::next() {
  if (rest_.empty()) return std::nullopt;
  const auto end = rest_.find('\n');
  std::string_view line = rest_.substr(0, end);
  rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  ++number_;
  return line;
}

DumpLine classify(std::string_view raw) {
  DumpLine line;
  line.clipped = raw.ends_with(kClipMark);
  if (line.clipped) raw.remove_suffix(1);
  while (line.column < raw.size() && is_tree_drawing(raw[line.column])) ++line.column;
  line.content = raw.substr(line.column);
  line.kind = kind_of(line.content, line.clipped);
  return line;
}

std::string quoted_excerpt(std::string_view text) {
  constexpr std::size_t kMaxExcerpt = 40;
  std::string excerpt = "\"";
  for (char c : text.substr(0, kMaxExcerpt)) excerpt += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return excerpt + (text.size() > kMaxExcerpt ? "...\"" : "\"");
}

std::optional<EntryLine> read_entry_line(std::string_view content, bool clipped) {
  if (!content.starts_with(kEntryMark)) return std::nullopt;
  std::string_view rest = content.substr(kEntryMark.size());
  if (rest.empty() && clipped) return read_clipped_entry(rest);
  if (!rest.starts_with(' ')) return std::nullopt;
  rest.remove_prefix(1);
  if (clipped) return read_clipped_entry(rest);

  const auto class_at = rest.rfind(kClassMark);
  if (class_at == std::string_view::npos || !rest.ends_with('>')) return std::nullopt;
  const auto class_text = rest.substr(class_at + kClassMark.size());
  const auto end = class_text.find_first_of(",>");
  if (end == 0) return std::nullopt;
  EntryLine entry;
  split_name(rest.substr(0, class_at), true, entry);
  entry.class_name = std::string(class_text.substr(0, end));
  return entry;
}

}  // namespace berth::sim::ioreg
