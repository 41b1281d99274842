#include "platform/linux/udev_label.h"

#include <libudev.h>

#include <memory>

namespace berth::linux_host {
namespace {

struct UdevFree {
  void operator()(udev* context) const { udev_unref(context); }
};
struct DeviceFree {
  void operator()(udev_device* device) const { udev_device_unref(device); }
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string decode_udev_escapes(std::string_view encoded) {
  std::string text;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x' && hex_value(encoded[i + 2]) >= 0 &&
        hex_value(encoded[i + 3]) >= 0) {
      text += static_cast<char>(hex_value(encoded[i + 2]) * 16 + hex_value(encoded[i + 3]));
      i += 3;
      continue;
    }
    text += encoded[i];
  }
  return text;
}

std::optional<std::string> udev_fs_label(dev_t device) {
  const std::unique_ptr<udev, UdevFree> context(udev_new());
  if (!context) return std::nullopt;
  const std::unique_ptr<udev_device, DeviceFree> block(udev_device_new_from_devnum(context.get(), 'b', device));
  if (!block) return std::nullopt;
  const char* encoded = udev_device_get_property_value(block.get(), "ID_FS_LABEL_ENC");
  if (!encoded || !*encoded) return std::nullopt;
  return decode_udev_escapes(encoded);
}

}  // namespace berth::linux_host
