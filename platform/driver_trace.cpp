#include "platform/driver_trace.h"

#include "platform/services.h"

namespace berth {
namespace {

std::string hex_list(std::span<const std::uint64_t> scalars, std::size_t structure) {
  std::string text;
  for (const auto scalar : scalars) text += format("%s0x%llx", text.empty() ? "" : ",", static_cast<unsigned long long>(scalar));
  if (structure > 0) text += format("%s[%zu]", text.empty() ? "" : ",", structure);
  return text;
}

}  // namespace

std::string driver_trace_line(std::uint32_t selector, std::span<const std::uint64_t> in, std::size_t struct_in,
                              std::span<const std::uint64_t> out, std::size_t struct_out, kern_return_t status) {
  return format("trace sel=%u in=%s out=%s status=0x%08x\n", selector, hex_list(in, struct_in).c_str(),
                hex_list(out, struct_out).c_str(), status);
}

}  // namespace berth
