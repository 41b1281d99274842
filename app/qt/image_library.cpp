#include "app/qt/image_library.h"

#include <QFileInfo>

#include <cmath>

namespace berth::qt {

QString double_density_path(const QString& path) {
  const QFileInfo file(path);
  const QString suffix = file.completeSuffix();
  const QString base = suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
  return base + "@2x" + (suffix.isEmpty() ? QString() : "." + suffix);
}

const QIcon& ImageLibrary::icon(const app::Image& image) {
  const auto found = icons_.find(image.path());
  if (found != icons_.end()) return found->second;
  QIcon icon;
  const QString path = QString::fromStdString(image.path());
  icon.addFile(path);
  if (const QString sharp = double_density_path(path); QFileInfo::exists(sharp)) icon.addFile(sharp);
  return icons_.emplace(image.path(), std::move(icon)).first->second;
}

QSize display_size(const app::Image& image) {
  const app::Size size = image.size();
  return {static_cast<int>(std::lround(size.width)), static_cast<int>(std::lround(size.height))};
}

}  // namespace berth::qt
