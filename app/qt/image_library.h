#pragma once
// The pictures of the model's images. An image of the model names a PNG file; its
// picture is that file with its "@2x" sibling, when there is one, for high-density
// screens. Pictures are kept by path, since the model loads an image anew each time
// it needs one.
#include <QIcon>

#include <map>
#include <string>

#include "app/model/image.h"

namespace berth::qt {

class ImageLibrary {
 public:
  const QIcon& icon(const app::Image& image);

 private:
  std::map<std::string, QIcon> icons_;
};

// The size at which the model shows an image: its size in points, one device-
// independent pixel each, as on the utility's own system.
QSize display_size(const app::Image& image);

// The "@2x" sibling of a PNG path ("eject.png" -> "eject@2x.png").
QString double_density_path(const QString& path);

}  // namespace berth::qt
