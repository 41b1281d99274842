#pragma once
// An image of the application's resources, found by name. Its natural size is the
// picture's pixel size in points; a size of one's own can be set, and with scaling
// turned on the picture is drawn scaled to it.
#include <memory>
#include <string>
#include <string_view>

#include "app/model/geometry.h"

namespace berth::app {

class Image {
 public:
  // The image named `name` in the main bundle's resources: "logo-n.png" as it stands,
  // "unit_1" as a PNG. Each call gives a new image; nothing when there is no such image.
  static std::shared_ptr<Image> named(std::string_view name);

  Image(std::string name, std::string path, Size natural_size);

  const std::string& name() const { return name_; }
  const std::string& path() const { return path_; }
  Size natural_size() const { return natural_size_; }
  Size size() const { return size_; }
  void set_size(Size size) { size_ = size; }
  bool scales_when_resized() const { return scales_when_resized_; }
  void set_scales_when_resized(bool scales) { scales_when_resized_ = scales; }

 private:
  std::string name_;
  std::string path_;
  Size natural_size_;
  Size size_;
  bool scales_when_resized_ = false;
};

}  // namespace berth::app
