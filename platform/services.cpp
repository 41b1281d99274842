#include "platform/services.h"

#include <cstdio>
#include <vector>

namespace berth {

// Empty until a program or a test installs its ports: the ports library carries no
// backend of its own.
Services& services() {
  static Services installed;
  return installed;
}

ScopedServices::ScopedServices(const Services& installed) : previous_(services()) {
  services() = installed;
}

ScopedServices::~ScopedServices() { services() = previous_; }

std::string vformat(const char* format, std::va_list args) {
  std::va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = vformat(format, args);
  va_end(args);
  return text;
}

void write_out(std::string_view text) {
  if (services().console) services().console->write(Stream::out, text);
}

void write_err(std::string_view text) {
  if (services().console) services().console->write(Stream::err, text);
}

void err_printf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  write_err(vformat(format, args));
  va_end(args);
}

void syslog_printf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string line = vformat(format, args);
  va_end(args);
  if (services().system_log) services().system_log->log(line);
}

}  // namespace berth
