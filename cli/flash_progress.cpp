#include "cli/flash_progress.h"

#include <algorithm>
#include <string>

namespace berth::cli {

// Stands in for the console while the bar is shown: before anything is written the bar
// is wiped from its line, and once a line is finished the bar is drawn again below it.
class FlashProgress::BarConsole final : public ConsolePort {
 public:
  BarConsole(ConsolePort& inner, std::uint32_t columns)
      : inner_(inner), width_(columns > 30 ? std::min<std::uint32_t>(columns - 10, 60) : 20) {}

  void write(Stream stream, std::string_view text) override {
    if (text.empty()) return;
    wipe();
    inner_.write(stream, text);
    mid_line_ = text.back() != '\n';
    draw();
  }
  std::optional<std::uint32_t> terminal_columns(Stream stream) override { return inner_.terminal_columns(stream); }

  void set(unsigned percent) {
    percent_ = percent;
    draw();
  }
  void end() {
    if (shown_) inner_.write(Stream::err, "\n");
    shown_ = false;
  }

 private:
  std::size_t length() const { return width_ + 7; }  // "[" bar "] " and "100%"
  void draw() {
    if (mid_line_) return;  // after the line is finished
    const std::uint32_t filled = width_ * percent_ / 100;
    inner_.write(Stream::err, "\r[" + std::string(filled, '#') + std::string(width_ - filled, '.') +
                                  format("] %3u%%", percent_));
    shown_ = true;
  }
  void wipe() {
    if (shown_) inner_.write(Stream::err, "\r" + std::string(length(), ' ') + "\r");
    shown_ = false;
  }

  ConsolePort& inner_;
  std::uint32_t width_;
  unsigned percent_ = 0;
  bool shown_ = false;
  bool mid_line_ = false;
};

FlashProgress::FlashProgress(std::size_t total) : total_(std::max<std::size_t>(total, 1)) {
  ConsolePort* console = services().console;
  const auto columns = console ? console->terminal_columns(Stream::err) : std::nullopt;
  if (!columns) return;
  bar_ = std::make_unique<BarConsole>(*console, *columns);
  Services with_bar = services();
  with_bar.console = bar_.get();
  installed_ = std::make_unique<ScopedServices>(with_bar);
}

FlashProgress::~FlashProgress() {
  if (!bar_) return;
  bar_->end();
  installed_.reset();
}

void FlashProgress::show(std::size_t done) {
  const auto percent = static_cast<unsigned>(std::min(done, total_) * 100 / total_);
  if (bar_) {
    bar_->set(percent);
  } else if (percent / 10 != last_tenth_) {
    last_tenth_ = percent / 10;
    write_err(format("flash program: %u%%\n", percent));
  }
}

}  // namespace berth::cli
