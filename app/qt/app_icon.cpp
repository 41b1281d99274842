#include "app/qt/app_icon.h"

#include <QApplication>

#include <array>
#include <system_error>

namespace berth::qt {

QIcon application_icon(const std::filesystem::path& resource_directory) {
  constexpr std::array<const char*, 6> kSizes{"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"};
  QIcon shipped;
  for (const auto& hicolor : {resource_directory / "icons" / "hicolor", resource_directory / ".." / "icons" / "hicolor"}) {
    for (const char* size : kSizes) {
      const auto png = hicolor / size / "apps" / (std::string(kDesktopName) + ".png");
      std::error_code error;
      if (std::filesystem::is_regular_file(png, error)) shipped.addFile(QString::fromStdString(png.string()));
    }
    if (!shipped.isNull()) break;
  }
  return QIcon::fromTheme(kDesktopName, shipped);
}

void set_up_desktop_application(const std::filesystem::path& resource_directory) {
  QApplication::setApplicationName(kDesktopName);
  QApplication::setApplicationDisplayName(kDisplayName);
  QApplication::setDesktopFileName(kDesktopName);
  QApplication::setWindowIcon(application_icon(resource_directory));
  QApplication::setQuitOnLastWindowClosed(false);
}

}  // namespace berth::qt
