#include "app/model/image.h"

#include "app/model/bundle.h"
#include "app/model/png_size.h"

namespace berth::app {

Image::Image(std::string name, std::string path, Size natural_size)
    : name_(std::move(name)), path_(std::move(path)), natural_size_(natural_size), size_(natural_size) {}

std::shared_ptr<Image> Image::named(std::string_view name) {
  if (name.empty()) return nullptr;
  std::string_view base = name;
  std::string_view type = "png";
  if (const auto dot = name.rfind('.'); dot != std::string_view::npos && dot > 0) {
    base = name.substr(0, dot);
    type = name.substr(dot + 1);
  }
  const auto path = Bundle::main_bundle().path_for_resource(base, type);
  if (!path) return nullptr;
  const auto pixels = png_file_pixel_size(*path);
  if (!pixels) return nullptr;
  return std::make_shared<Image>(std::string(name), *path, *pixels);
}

}  // namespace berth::app
