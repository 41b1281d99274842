#pragma once
// The application delegate: owns the status item and its menu, rebuilds the menu from
// the dock table each time it is about to open, swaps the eject icons of the highlighted
// group command, carries out the eject commands and registers the login item at launch.
// Its instance variables are public, as the interface file's outlets and the front ends
// that present the status item read them.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/model/application.h"
#include "app/model/attributed_string.h"
#include "app/model/image.h"
#include "app/model/menu.h"
#include "app/model/responder.h"
#include "app/model/status_bar.h"
#include "app/model/timer.h"
#include "app/model/window.h"
#include "lib/discovery/device_tables.h"

namespace berth::app {

inline constexpr std::uint32_t kItemPoolCapacity = 256;
inline constexpr std::uint32_t kSubMenuPoolCapacity = 16;
inline constexpr std::int32_t kStatusSuccess = 0;
inline constexpr std::int32_t kStatusError = static_cast<std::int32_t>(0xE00002BC);

class AppDelegate final : public InterfaceObject, public ApplicationDelegate, public Responder, public MenuDelegate {
 public:
  explicit AppDelegate(Application& application);
  ~AppDelegate() override;
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Start-up, status item and refresh (app_delegate_lifecycle.cpp).
  bool set_outlet(std::string_view name, const InterfaceElement& element) override;
  void awakeFromNib() override;
  void applicationDidFinishLaunching() override;
  bool perform_action(std::string_view selector, MenuItem* sender) override;
  void activateStatusMenu();
  void menuWillOpen(Menu& menu) override;
  void thread_pollDevicesInfo();
  void ibac_func_Quit(MenuItem* sender);
  void ibac_func1(MenuItem* sender);

  // The poll timer, which nothing in the utility starts (app_delegate_poll_timer.cpp).
  void fn_enable_tmrs(bool isFromWakeup);
  void fn_enable_timer__pollDevInfo(double interval);
  void fn_disable_tmrs();
  void timer_pollDevInfo_CBF();

  // Item pools (app_delegate_pools.cpp).
  std::int32_t fn_store_menuItem(const std::shared_ptr<MenuItem>& item);
  std::int32_t fn_store_subMenu(const std::shared_ptr<Menu>& menu);
  std::int32_t fn_release_menuItems();
  std::int32_t fn_release_subMenus();
  void fn_remove_all_menuItems();

  // Dock blocks (app_delegate_dock_menu.cpp).
  std::int32_t fn_build_BLxxx_menuItem(sDevice* dev, std::uint8_t blIdx);
  std::int32_t fn_build_menuItem_funCode(MenuItem* item, std::uint8_t blIdx, std::uint8_t infType,
                                         std::uint8_t portIdx);
  bool fn_is_BLxxx(const sDevice* dev) const;
  std::uint8_t getThunderboltDevType(const sDevice* dev) const;

  // Volume names of a disk (app_delegate_volume_names.cpp). The unit is taken whole:
  // a unit that does not fit the dock table's byte is one the menu cannot address.
  void __dump_partition_names(sDevice* dev, std::uint32_t bsdNum, std::uint8_t* volNameCnt);

  // Attributed titles and the highlight (app_delegate_titles.cpp).
  std::optional<AttributedString> fn_create_attrTitle__EjectAllVolumes(const std::shared_ptr<Image>& inImg1,
                                                                        const std::shared_ptr<Image>& inImg2);
  std::optional<AttributedString> fn_create_attrTitle__EjectXXXVolumes(const std::shared_ptr<Image>& inImg);
  void fn_update_imgs__menuItem(MenuItem* item, const std::shared_ptr<Image>& inImg);
  void menu_willHighlightItem(Menu& menu, MenuItem* item) override;

  // Login item (app_delegate_login_item.cpp).
  void _runAppleScriptWithCommand(std::string_view command, std::string_view scriptName,
                                  std::string_view parameter);

  // Eject request and completion (app_delegate_eject_request.cpp).
  void ibac_ejectVolumes(MenuItem* sender);
  void timer_ejectVolumes_CBF(Timer& timer);
  void fn_complete_eject(bool success, bool report);

  // Eject worker (app_delegate_eject_worker.cpp).
  void thread_ejectVolumes(MenuItem* item);
  bool fn_unmount_diskX(std::uint32_t bsdNum);

  // Instance variables, in declaration order.
  std::shared_ptr<Window> _window_Msg;
  std::shared_ptr<TextField> _tf_Msg;
  std::shared_ptr<ProgressIndicator> _pgs_vol_eject;
  std::shared_ptr<Image> logoImg_Icon_None;
  std::shared_ptr<Image> logoImg_Icon_None_alt;
  std::shared_ptr<Timer> tmr_pollDevInfo;
  std::uint32_t _bl_cnt = 0;
  std::array<std::shared_ptr<MenuItem>, kItemPoolCapacity> _pool_itemMenu;
  std::uint32_t _cnt__pool_itemMenu = 0;
  std::array<std::shared_ptr<Menu>, kSubMenuPoolCapacity> _pool_subMenu;
  std::uint32_t _cnt__pool_subMenu = 0;
  std::shared_ptr<Image> _img_unit1;
  std::shared_ptr<Image> _img_unit2;
  std::shared_ptr<Image> _img_unit3;
  std::shared_ptr<Image> _img_unit4;
  std::shared_ptr<Image> _img_unit5;
  std::shared_ptr<Image> _img_unit6;
  std::shared_ptr<StatusItem> statusItem;
  std::weak_ptr<Window> window;

 private:
  // The dock-number image for dock index 0 to 5; null otherwise.
  const std::shared_ptr<Image>& unit_image(std::uint8_t blIdx) const;
  std::shared_ptr<Menu> status_menu() const;
  std::int32_t add_item(Menu& menu, const std::shared_ptr<MenuItem>& item, std::uint8_t blIdx, std::uint8_t infType,
                        std::uint8_t portIdx);
  void add_quit_item(Menu& menu);
  std::uint8_t add_port_items(Menu& menu, sDevice* dev, std::uint8_t blIdx, bool esata, std::uint8_t count);
  void empty_volume_names(sDevice* dev);
  bool eject_port(const sDiskInfo& disk);
  void eject_one_port(const sDevice& dev, std::uint8_t infType, std::uint8_t portIdx);
  void eject_group(const sDevice& dev, std::uint8_t infType);
  std::string localized(std::string_view text) const;
  // For callbacks that may outlive the delegate: they do nothing once it is gone.
  std::weak_ptr<AppDelegate*> weak_self() const { return self_; }

  Application& application_;
  // The texts that dock records' volume-name lists point at, per record; they live
  // until the record's next block build empties its list.
  std::map<const sDevice*, std::array<std::string, kVolumeNameCapacity>> volume_name_texts_;
  std::shared_ptr<AppDelegate*> self_;
};

// The interface file's classes that the application provides, made for the current
// application.
std::unique_ptr<InterfaceObject> make_interface_object(std::string_view class_name);

}  // namespace berth::app
