#pragma once
// The lines of an `ioreg -l` dump: splitting the text into lines, telling a line of the
// tree drawing from an entry line, a property-block brace or a property line, and
// reading an entry line. A line that a terminal cut at its width ends in "$"; such a
// line is kept as far as it goes and marked clipped.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace berth::sim::ioreg {

// The mark ioreg puts where it cut a line, and that this reader keeps on every name,
// class or value it could read only in part, so that none is taken for a whole one.
inline constexpr char kClipMark = '$';

// Raw lines of the dump, "\n" or "\r\n" ended, numbered from 1.
class LineReader {
 public:
  explicit LineReader(std::string_view text);
  // The next line without its line end; nullopt after the last one.
  std::optional<std::string_view> next();
  std::size_t number() const { return number_; }

 private:
  std::string_view rest_;
  std::size_t number_ = 0;
};

enum class LineKind {
  blank,        // tree drawing only, or cut before anything else shows
  entry,        // "+-o NAME@LOCATION  <class CLASS, ...>"
  open_block,   // "{"
  close_block,  // "}"
  property,     // "\"key\" = value"
  unknown,
};

struct DumpLine {
  LineKind kind = LineKind::unknown;
  std::size_t column = 0;    // where the content starts, after the tree drawing
  std::string_view content;  // from that column on, without the clip mark
  bool clipped = false;
};

DumpLine classify(std::string_view raw);

struct EntryLine {
  std::string name;  // in the plane: the part before the "@"
  std::string location;
  std::string class_name;
};

// Text from the dump for an error message: quoted, at most 40 bytes of it, control
// characters shown as "?", so that the message stays one short line.
std::string quoted_excerpt(std::string_view text);

// Reads the content of an entry line; nullopt when it does not have the shape of one.
std::optional<EntryLine> read_entry_line(std::string_view content, bool clipped);

}  // namespace berth::sim::ioreg
