#pragma once
// The utility's own texts, selectors, tags and resource names, as the menu, the alerts
// and the log show them.
#include <cstdint>

namespace berth::app {

inline constexpr const char* kAppTitle = "Vantrel Berthline Utility";
inline constexpr const char* kNoDockTitle = "Found no Vantrel Berthlines.";
inline constexpr const char* kQuitTitle = "Quit Vantrel Berthline Utility";
inline constexpr std::int64_t kNoDockTag = 0x5555AAAA;
inline constexpr std::int64_t kQuitTag = 0x55500AAA;

inline constexpr const char* kEjectAction = "ibac_ejectVolumes:";
inline constexpr const char* kQuitAction = "ibac_func_Quit:";
inline constexpr const char* kFunc1Action = "ibac_func1:";
// Sent by a desktop front end when the system reports that devices came or went, so the
// status menu is rebuilt while it is closed (queued like a poll, skipped during an eject).
inline constexpr const char* kDevicesChangedAction = "devicesChanged:";

inline constexpr const char* kEjectAllToolTip = "Eject all volumes";
inline constexpr const char* kEjectAllUSBToolTip = "Eject all USB volumes";
inline constexpr const char* kEjectAllESATAToolTip = "Eject all eSATA volumes";
inline constexpr const char* kUSBPortToolTip = "Eject volumes on USB port %d";
inline constexpr const char* kESATAPortToolTip = "Eject volumes on ESATA port %d";
inline constexpr const char* kPortTitle = "      port %d";
inline constexpr const char* kPortTitleWithVolume = "      port %d: %s";
inline constexpr const char* kEjectAllText = " Eject all volumes ";
inline constexpr const char* kGroupIndent = "   ";
inline constexpr double kTitleFontSize = 14.0;
inline constexpr float kEjectAllBaselineOffset = 5.0f;

inline constexpr const char* kEjectImage = "eject";
inline constexpr const char* kEjectImageHighlighted = "eject-w";
inline constexpr const char* kEjectUSBImage = "eject_USB";
inline constexpr const char* kEjectUSBImageHighlighted = "eject_USB-w";
inline constexpr const char* kEjectESATAImage = "eject_eSATA";
inline constexpr const char* kEjectESATAImageHighlighted = "eject_eSATA-w";

inline constexpr const char* kEjectingMessage = "Ejecting volumes. Please wait...";
inline constexpr const char* kEjectedSafely = "Devices ejected safely.";
inline constexpr const char* kEjectFailed = "Device eject failed.";
inline constexpr const char* kConfirmButton = "Confirm";
inline constexpr const char* kDVDRefusal = "Do not support DVD-ROM eject.";
inline constexpr const char* kVolumeEjectFailed = "Failed to eject volume:";
inline constexpr double kEjectDelay = 0.5;

inline constexpr const char* kLoginItemHandler = "add_Vantrel_to_loginitems";
inline constexpr const char* kLoginItemScript = "Vantrel_loginitem";

// The interface types of a menu item's tag, and the port index of a group command.
inline constexpr std::uint8_t kInfUSBPort = 1;
inline constexpr std::uint8_t kInfESATAPort = 2;
inline constexpr std::uint8_t kInfAllVolumes = 3;
inline constexpr std::uint8_t kInfAllUSB = 4;
inline constexpr std::uint8_t kInfAllESATA = 8;
inline constexpr std::uint8_t kGroupPortIdx = 0xFF;
inline constexpr std::uint8_t kDockTypeUSB = 6;
inline constexpr std::uint8_t kDockTypeUSBAndESATA = 10;
inline constexpr std::uint8_t kMaxDockIndex = 5;

}  // namespace berth::app
