#pragma once
// The workspace's unmount-and-eject through UDisks2 on the system D-Bus (libudisks2):
// for the whole disk that holds the volume mounted at the path, every mounted file
// system of that disk is unmounted (Filesystem.Unmount), then its drive is powered off
// or ejected as drive_action decides. No other disk is touched. The first refusal ends
// the run, with the reason: the processes holding a busy volume, or the error text the
// system (UDisks, polkit) answered with.
//
// The client is made on first use, on the calling thread's GLib main context; its view
// of the objects is brought up to date before each run, so it works whether or not a
// main loop runs (the Qt program runs one; berthctl and the tests do not).
#include <string>
#include <udisks/udisks.h>

#include "platform/linux/glib_ptr.h"
#include "platform/workspace_port.h"

namespace berth::linux_host {

class UDisksWorkspace final : public WorkspacePort {
 public:
  EjectResult unmount_and_eject(std::string_view mount_path) override;

  // The client, connected on first use; null when the system bus or UDisks cannot be
  // reached (connect_error() says why).
  UDisksClient* client();
  const std::string& connect_error() const { return connect_error_; }

 private:
  GObjectPtr<UDisksClient> client_;
  std::string connect_error_;
};

// Whether udisksd owns its name on the bus the client is connected to.
bool udisks_is_running(UDisksClient* client);

// The text of a D-Bus error for a person: the message without GDBus' prefix, then the
// error's name ("Not authorized to perform operation
// (org.freedesktop.UDisks2.Error.NotAuthorized)").
std::string dbus_error_text(const GError& error);

}  // namespace berth::linux_host
