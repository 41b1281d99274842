#include "platform/linux/eject_decision.h"

namespace berth::linux_host {

DriveAction drive_action(const DriveFacts& facts) {
  if (!facts.has_drive) return DriveAction::unmount_only;
  if (facts.can_power_off && !facts.has_siblings) return DriveAction::power_off;
  if (facts.ejectable) return DriveAction::eject;
  return DriveAction::unmount_only;
}

}  // namespace berth::linux_host
