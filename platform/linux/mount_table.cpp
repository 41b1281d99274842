#include "platform/linux/mount_table.h"

#include <libmount.h>

#include <memory>

namespace berth::linux_host {
namespace {

struct TableFree {
  void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
struct IterFree {
  void operator()(libmnt_iter* iter) const { mnt_free_iter(iter); }
};

std::string text_or_empty(const char* text) { return text ? text : ""; }

}  // namespace

std::vector<Mount> read_mount_table(const std::filesystem::path& mountinfo) {
  const std::unique_ptr<libmnt_table, TableFree> table(mnt_new_table());
  const std::unique_ptr<libmnt_iter, IterFree> iter(mnt_new_iter(MNT_ITER_FORWARD));
  std::vector<Mount> mounts;
  if (!table || !iter || mnt_table_parse_file(table.get(), mountinfo.c_str()) != 0) return mounts;
  libmnt_fs* fs = nullptr;
  while (mnt_table_next_fs(table.get(), iter.get(), &fs) == 0) {
    const std::string root = text_or_empty(mnt_fs_get_root(fs));
    mounts.push_back({mnt_fs_get_devno(fs), text_or_empty(mnt_fs_get_srcpath(fs)),
                      text_or_empty(mnt_fs_get_target(fs)), root.empty() || root == "/"});
  }
  return mounts;
}

std::optional<std::string> mount_path_of(const std::vector<Mount>& table, dev_t device, std::string_view dev_path) {
  for (const Mount& mount : table)
    if (mount.whole_tree &&
        ((device != 0 && mount.device == device) || (!dev_path.empty() && mount.source == dev_path)))
      return mount.target;
  return std::nullopt;
}

}  // namespace berth::linux_host
