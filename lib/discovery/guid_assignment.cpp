// GUID assignment: a candidate whose registry entry lies in the collected subtree of
// an Intel Thunderbolt record with a GUID takes that record's GUID. When several
// records hold it, the last one in table order decides.
#include <algorithm>
#include <array>
#include <utility>

#include "lib/discovery/discovery.h"
#include "lib/discovery/identity_tests.h"

namespace berth {
namespace {

// Candidates that pass the table's test, sorted by service handle (then by index),
// so that each subtree identity finds its candidates by binary search instead of
// a scan of the whole table.
class CandidateIndex {
 public:
  template <typename Candidate, typename Test>
  void build(const Candidate* table, std::uint32_t count, Test passes) {
    size_ = 0;
    for (std::uint32_t j = 0; j < count; ++j)
      if (passes(table[j])) entries_[size_++] = {table[j].service, j};
    std::sort(entries_.begin(), entries_.begin() + size_);
  }

  template <typename Visit>
  void for_each_with_service(io_object_t service, Visit visit) const {
    const auto begin = entries_.begin();
    const auto end = entries_.begin() + size_;
    auto it = std::lower_bound(begin, end, std::pair<io_object_t, std::uint32_t>{service, 0});
    for (; it != end && it->first == service; ++it) visit(it->second);
  }

 private:
  std::array<std::pair<io_object_t, std::uint32_t>, kRecordTableCapacity> entries_{};
  std::size_t size_ = 0;
};

template <typename Candidate, typename Test>
void fill_GUIDs(Candidate* table, std::uint32_t count, Test passes) {
  static CandidateIndex index;
  index.build(table, count, passes);
  for (std::uint32_t i = 0; i < gIOPCIDevCnt; ++i) {
    const sIOPCIDev& tb = gIOPCIDevList[i];
    if (tb.isGUIDValid == 0 || !is_intel_thunderbolt(tb.VID, tb.DID) || tb.service == 0) continue;
    for (std::uint32_t k = 0; k < tb.services_under_TB_cnt; ++k) {
      index.for_each_with_service(tb.services_under_TB[k], [&](std::uint32_t j) {
        Candidate& c = table[j];
        c.isGUIDValid = tb.isGUIDValid;
        c.TB_GUID_low = tb.TB_GUID_low;
        c.TB_GUID_high = tb.TB_GUID_high;
        c.service_thunderbolt = tb.service;
      });
    }
  }
}

}  // namespace

void fill_GUID_for_each_M91xx() {
  fill_GUIDs(gCandidateM91xxDeviceList, gCandidateM91xxDevCnt,
             [](const sCandidateM91xxDev& c) { return is_sata_guid_family(c.VID, c.DID); });
}

void fill_GUID_for_each_FL1100() {
  fill_GUIDs(gCandidateFL1100DeviceList, gCandidateFL1100DevCnt,
             [](const sCandidateFL1100Dev& c) { return is_usb_controller(c.VID, c.DID); });
}

}  // namespace berth
