#pragma once
// A console that keeps what is written, with a terminal width of one's choosing, so
// that diagnostics can be checked without a real terminal.
#include <map>
#include <string>

#include "platform/console_port.h"

namespace berth::sim {

class CaptureConsole final : public ConsolePort {
 public:
  void write(Stream stream, std::string_view text) override { (stream == Stream::err ? err_ : out_) += text; }
  std::optional<std::uint32_t> terminal_columns(Stream stream) override {
    const auto it = columns_.find(stream);
    if (it == columns_.end()) return std::nullopt;
    return it->second;
  }

  void attach_terminal(Stream stream, std::uint32_t columns) { columns_[stream] = columns; }
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }
  void clear() { out_.clear(); err_.clear(); }

 private:
  std::string out_;
  std::string err_;
  std::map<Stream, std::uint32_t> columns_;
};

}  // namespace berth::sim
