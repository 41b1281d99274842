#pragma once
// Disk Arbitration over the simulated disks, counting every session, disk object and
// description taken and given back.
#include <cstddef>
#include <map>
#include <string>

#include "platform/disks_port.h"
#include "platform/sim/disk_model.h"

namespace berth::sim {

struct DiskArbitrationCounts {
  std::size_t sessions_taken = 0;
  std::size_t sessions_released = 0;
  std::size_t disks_taken = 0;
  std::size_t disks_released = 0;
  std::size_t descriptions_taken = 0;
  std::size_t descriptions_released = 0;
  std::size_t bad_releases = 0;  // a handle given back that was not held
  std::size_t lookups = 0;       // disk objects asked for, found or not

  std::size_t held() const {
    return sessions_taken - sessions_released + disks_taken - disks_released + descriptions_taken -
           descriptions_released;
  }
};

class SimDiskArbitration final : public DisksPort {
 public:
  SimDiskArbitration(const DiskModel& model, bool sessions_fail) : model_(model), sessions_fail_(sessions_fail) {}

  da_handle_t session_create() override;
  void session_release(da_handle_t session) override;
  da_handle_t disk_create_from_bsd_name(da_handle_t session, std::string_view bsd_name) override;
  void disk_release(da_handle_t disk) override;
  da_handle_t disk_copy_description(da_handle_t disk) override;
  void description_release(da_handle_t description) override;
  std::optional<std::string> description_value(da_handle_t description, DiskDescriptionKey key) override;
  std::vector<std::string> bsd_names() override;

  const DiskArbitrationCounts& counts() const { return counts_; }

 private:
  enum class Kind { session, disk, description };
  struct Held {
    Kind kind;
    std::string bsd;  // disk objects and descriptions: the disk they are about
    SimDisk copy;     // descriptions: the disk as it was when the description was copied
  };

  da_handle_t take(Kind kind, std::string bsd, SimDisk copy = {});
  const Held* held(da_handle_t handle, Kind kind) const;
  void give_back(da_handle_t handle, Kind kind, std::size_t& released);

  const DiskModel& model_;
  bool sessions_fail_;
  da_handle_t next_handle_ = 1;
  std::map<da_handle_t, Held> held_;
  DiskArbitrationCounts counts_;
};

}  // namespace berth::sim
