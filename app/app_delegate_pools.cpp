// The item pools: every menu item the delegate creates is held here as well as by the
// status menu, until the next rebuild releases them all.
#include "app/app_delegate.h"
#include "platform/services.h"

namespace berth::app {
namespace {

// Stores into a pool while count + 1 is below its capacity, so the last slot stays unused.
template <typename T, std::size_t N>
std::int32_t store(std::array<std::shared_ptr<T>, N>& pool, std::uint32_t& count, const std::shared_ptr<T>& object,
                   const char* message, const char* method) {
  if (!object) return kStatusError;
  if (count + 1 < N) {
    pool[count] = object;
    ++count;
    return kStatusSuccess;
  }
  syslog_printf(message, method, static_cast<int>(count));
  return kStatusError;
}

template <typename T, std::size_t N>
void release(std::array<std::shared_ptr<T>, N>& pool, std::uint32_t& count) {
  for (std::uint32_t slot = 0; slot < count && slot < N; ++slot) pool[slot] = nullptr;
  count = 0;
}

}  // namespace

std::int32_t AppDelegate::fn_store_menuItem(const std::shared_ptr<MenuItem>& item) {
  return store(_pool_itemMenu, _cnt__pool_itemMenu, item, "%s: _cnt__pool_itemMenu:%d",
               "-[AppDelegate fn_store_menuItem:]");
}

std::int32_t AppDelegate::fn_store_subMenu(const std::shared_ptr<Menu>& menu) {
  return store(_pool_subMenu, _cnt__pool_subMenu, menu, "%s: _cnt__pool_subMenu:%d",
               "-[AppDelegate fn_store_subMenu:]");
}

std::int32_t AppDelegate::fn_release_menuItems() {
  release(_pool_itemMenu, _cnt__pool_itemMenu);
  return kStatusSuccess;
}

std::int32_t AppDelegate::fn_release_subMenus() {
  release(_pool_subMenu, _cnt__pool_subMenu);
  return kStatusSuccess;
}

void AppDelegate::fn_remove_all_menuItems() {
  const std::shared_ptr<Menu> menu = status_menu();
  if (!menu) return;
  if (menu->number_of_items() > 0) menu->remove_all_items();
  fn_release_menuItems();
  fn_release_subMenus();
}

}  // namespace berth::app
