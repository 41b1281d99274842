#include "app/model/png_size.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>

namespace berth::app {
namespace {

// Signature (8), IHDR length (4), "IHDR" (4), width (4), height (4), all big-endian.
constexpr std::array<unsigned char, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kHeaderBytes = 24;

std::uint32_t big_endian32(std::span<const unsigned char> bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

}  // namespace

std::optional<Size> png_pixel_size(std::span<const unsigned char> header) {
  if (header.size() < kHeaderBytes) return std::nullopt;
  if (!std::equal(kSignature.begin(), kSignature.end(), header.begin())) return std::nullopt;
  const auto chunk_type = header.subspan(12, 4);
  if (chunk_type[0] != 'I' || chunk_type[1] != 'H' || chunk_type[2] != 'D' || chunk_type[3] != 'R') return std::nullopt;
  const std::uint32_t width = big_endian32(header.subspan(16, 4));
  const std::uint32_t height = big_endian32(header.subspan(20, 4));
  if (width == 0 || height == 0) return std::nullopt;
  return Size{static_cast<double>(width), static_cast<double>(height)};
}

std::optional<Size> png_file_pixel_size(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<unsigned char, kHeaderBytes> header{};
  if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return std::nullopt;
  return png_pixel_size(header);
}

}  // namespace berth::app
