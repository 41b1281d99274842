#include "platform/sim/ioreg_dump.h"

#include "platform/posix/input_file.h"
#include "platform/sim/ioreg_classes.h"
#include "platform/sim/ioreg_lines.h"
#include "platform/sim/ioreg_values.h"

namespace berth::sim {
namespace {

using ioreg::DumpLine;
using ioreg::LineKind;

// ioreg draws an entry's property block two columns right of the entry's "+-o" and
// each child's "+-o" two columns right as well.
constexpr std::size_t kBlockIndent = 4;
constexpr std::size_t kPropertyIndent = 6;
constexpr std::size_t kChildIndent = 2;

std::string column_text(std::size_t column) { return "column " + std::to_string(column + 1); }

std::string line_text(std::size_t line) { return "line " + std::to_string(line); }

// Builds the tree line by line. An entry's depth is the column of its "+-o": it is
// a child of the nearest entry above it two columns to the left. The first entry may
// stand at any column, so an excerpt of a dump reads as well as a whole one.
class TreeBuilder {
 public:
  explicit TreeBuilder(std::string_view text) : lines_(text) {}

  RegistryModel build() {
    while (const auto raw = lines_.next()) take(*raw);
    if (block_ == Block::open)
      fail("the dump ends inside the property block that starts at " + line_text(block_line_));
    if (model_.roots.empty()) throw IoregDumpError(0, "no registry entry (\"+-o NAME  <class CLASS, ...>\") in the dump");
    return std::move(model_);
  }

 private:
  enum class Block { none, open, closed };
  struct Open {
    std::size_t column;
    RegistryEntry* entry;
    std::size_t line;
  };

  [[noreturn]] void fail(const std::string& message) const { throw IoregDumpError(lines_.number(), message); }

  void take(std::string_view raw) {
    const DumpLine line = ioreg::classify(raw);
    switch (line.kind) {
      case LineKind::blank: return;
      case LineKind::entry: return add_entry(line);
      case LineKind::open_block: return open_block(line);
      case LineKind::close_block: return close_block(line);
      case LineKind::property: return add_property(line);
      case LineKind::unknown: break;
    }
    fail("not a line of an ioreg dump: " + ioreg::quoted_excerpt(raw));
  }

  void add_entry(const DumpLine& line) {
    if (block_ == Block::open)
      fail("an entry inside the property block that starts at " + line_text(block_line_) + " (no \"}\")");
    auto read = ioreg::read_entry_line(line.content, line.clipped);
    if (!read) fail("an entry line must read \"+-o NAME  <class CLASS, ...>\"");
    while (!stack_.empty() && stack_.back().column >= line.column) stack_.pop_back();
    if (stack_.size() >= kMaxRegistryDepth)
      fail("the registry is nested more than " + std::to_string(kMaxRegistryDepth) + " entries deep");
    if (++entries_ > kMaxRegistryEntries)
      fail("the registry has more than " + std::to_string(kMaxRegistryEntries) + " entries");
    RegistryEntry entry;
    entry.name = std::move(read->name);
    entry.location = std::move(read->location);
    entry.class_name = std::move(read->class_name);
    entry.inherits = ioreg::known_bases(entry.class_name);
    stack_.push_back({line.column, attach(std::move(entry), line.column), lines_.number()});
    block_ = Block::none;
  }

  RegistryEntry* attach(RegistryEntry entry, std::size_t column) {
    if (stack_.empty()) return &model_.roots.emplace_back(std::move(entry));
    const Open& parent = stack_.back();
    if (column != parent.column + kChildIndent)
      fail("an entry at " + column_text(column) + " is more than one level below the entry at " +
           line_text(parent.line) + " (" + column_text(parent.column) + ")");
    return &parent.entry->children.emplace_back(std::move(entry));
  }

  // The entry whose block a brace or property line at this column belongs to.
  const Open& owner(const DumpLine& line, std::size_t indent, std::string_view what) const {
    if (stack_.empty()) fail(std::string(what) + " before any entry");
    const Open& current = stack_.back();
    if (line.column != current.column + indent)
      fail(std::string(what) + " at " + column_text(line.column) + " does not line up with the entry at " +
           line_text(current.line) + " (expected " + column_text(current.column + indent) + ")");
    return current;
  }

  void open_block(const DumpLine& line) {
    const Open& current = owner(line, kBlockIndent, "a \"{\"");
    if (block_ != Block::none) fail("a second property block for the entry at " + line_text(current.line));
    block_ = Block::open;
    block_line_ = lines_.number();
  }

  void close_block(const DumpLine& line) {
    owner(line, kBlockIndent, "a \"}\"");
    if (block_ != Block::open) fail("a \"}\" without a property block open");
    block_ = Block::closed;
  }

  void add_property(const DumpLine& line) {
    const Open& current = owner(line, kPropertyIndent, "a property line");
    if (block_ != Block::open) fail("a property line outside a property block");
    const std::size_t first_line = lines_.number();
    try {
      current.entry->props.push_back(ioreg::read_property(line.content, line.clipped, [this] { return lines_.next(); }));
    } catch (const ioreg::ValueError& error) {
      throw IoregDumpError(first_line, error.what());
    }
  }

  ioreg::LineReader lines_;
  RegistryModel model_;
  std::vector<Open> stack_;  // the current entry and its ancestors, outermost first
  Block block_ = Block::none;
  std::size_t block_line_ = 0;
  std::size_t entries_ = 0;
};

}  // namespace

IoregDumpError::IoregDumpError(std::size_t line, const std::string& message)
    : std::runtime_error(line == 0 ? message : line_text(line) + ": " + message), line_(line) {}

RegistryModel registry_from_ioreg(std::string_view text) { return TreeBuilder(text).build(); }

RegistryModel load_ioreg_dump(const std::filesystem::path& path) {
  std::string text;
  try {
    text = read_input_file(path, kMaxIoregDumpBytes);
  } catch (const InputFileError& error) {
    throw IoregDumpError(0, error.what());
  }
  return registry_from_ioreg(text);
}

std::string describe(std::string_view file_name, const IoregDumpError& error) {
  return std::string(file_name) + ": " + error.what();
}

}  // namespace berth::sim
