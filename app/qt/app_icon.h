#pragma once
// The desktop program's identity: its name, its desktop entry, its icon (from the
// icon theme, or the hicolor icons that ship with it), and that closing its last window
// does not end it: a status-bar utility lives on in the tray.
#include <QIcon>

#include <filesystem>

namespace berth::qt {

inline constexpr const char* kDesktopName = "berthline-utility";
inline constexpr const char* kDisplayName = "Vantrel Berthline Utility";

// The application icon: the theme's, else the hicolor PNGs found among or beside the
// resources (a build tree keeps them in icons/, an installation in ../icons/).
QIcon application_icon(const std::filesystem::path& resource_directory);

void set_up_desktop_application(const std::filesystem::path& resource_directory);

}  // namespace berth::qt
