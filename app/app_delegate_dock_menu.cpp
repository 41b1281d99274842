// A dock's block of the status menu: the eject-all command, the USB side with its port
// items, the eSATA side on docks that have one, and the closing separator and Quit.
#include "app/app_delegate.h"
#include "app/app_texts.h"
#include "platform/services.h"

namespace berth::app {
namespace {

std::uint8_t usb_port_count(std::uint8_t type) {
  return type == kDockTypeUSB || type == kDockTypeUSBAndESATA ? 3 : 0;
}

std::uint8_t esata_port_count(std::uint8_t type) { return type == kDockTypeUSBAndESATA ? 2 : 0; }

void set_eject_action(MenuItem& item, bool has_volumes) { item.set_action(has_volumes ? kEjectAction : ""); }

}  // namespace

std::uint8_t AppDelegate::getThunderboltDevType(const sDevice* dev) const {
  return dev ? static_cast<std::uint8_t>(dev->TB_GUID_high & 0xFF) : 0;
}

bool AppDelegate::fn_is_BLxxx(const sDevice* dev) const {
  const std::uint8_t type = getThunderboltDevType(dev);
  return dev && (type == kDockTypeUSB || type == kDockTypeUSBAndESATA);
}

std::int32_t AppDelegate::fn_build_menuItem_funCode(MenuItem* item, std::uint8_t blIdx, std::uint8_t infType,
                                                    std::uint8_t portIdx) {
  if (!item) return kStatusError;
  item->set_tag(static_cast<std::int64_t>(blIdx) * 65536 + static_cast<std::int64_t>(infType) * 256 + portIdx);
  return kStatusSuccess;
}

std::int32_t AppDelegate::add_item(Menu& menu, const std::shared_ptr<MenuItem>& item, std::uint8_t blIdx,
                                   std::uint8_t infType, std::uint8_t portIdx) {
  menu.add_item(item);
  fn_store_menuItem(item);
  return fn_build_menuItem_funCode(item.get(), blIdx, infType, portIdx);
}

void AppDelegate::empty_volume_names(sDevice* dev) {
  for (const char*& name : dev->vol_names) name = nullptr;
  dev->vol_name_cnt = 0;
  volume_name_texts_.erase(dev);
}

// The items of one side's ports; returns how many volumes they counted together.
std::uint8_t AppDelegate::add_port_items(Menu& menu, sDevice* dev, std::uint8_t blIdx, bool esata,
                                         std::uint8_t count) {
  std::uint8_t sum = 0;
  for (std::uint8_t p = 0; p < count; ++p) {
    const sDiskInfo& disk = esata ? dev->sata_disk[p] : dev->usb_disk[p];
    std::uint8_t n = 0;
    if (disk.bsd_unit != kNoDisk) {
      __dump_partition_names(dev, disk.bsd_unit, &n);
      dev->vol_name_cnt = static_cast<std::uint8_t>(dev->vol_name_cnt + n);
    }
    const char* first_name = n > 0 ? dev->vol_names[dev->vol_name_cnt - n] : nullptr;
    std::string title = first_name ? format(kPortTitleWithVolume, p + 1, first_name) : format(kPortTitle, p + 1);
    auto item = MenuItem::create(std::move(title), "", "");
    item->set_tool_tip(format(esata ? kESATAPortToolTip : kUSBPortToolTip, p + 1));
    add_item(menu, item, blIdx, esata ? kInfESATAPort : kInfUSBPort, p);
    set_eject_action(*item, n > 0);
    sum = static_cast<std::uint8_t>(sum + n);
  }
  return sum;
}

std::int32_t AppDelegate::fn_build_BLxxx_menuItem(sDevice* dev, std::uint8_t blIdx) {
  const std::shared_ptr<Menu> menu = status_menu();
  if (!dev || !menu) return kStatusError;
  if (blIdx != 0) menu->add_item(MenuItem::separator_item());

  auto eject_all = MenuItem::create("", "", "");
  eject_all->set_tool_tip(kEjectAllToolTip);
  if (blIdx > kMaxDockIndex) return kStatusError;
  auto eject_all_title = fn_create_attrTitle__EjectAllVolumes(unit_image(blIdx), Image::named(kEjectImage));
  if (!eject_all_title) return kStatusError;
  eject_all->set_attributed_title(std::move(*eject_all_title));
  add_item(*menu, eject_all, blIdx, kInfAllVolumes, kGroupPortIdx);
  if (_bl_cnt == 1) menu->add_item(MenuItem::separator_item());

  const std::uint8_t type = getThunderboltDevType(dev);
  empty_volume_names(dev);

  auto all_usb = MenuItem::create("", "", "");
  all_usb->set_tool_tip(kEjectAllUSBToolTip);
  auto all_usb_title = fn_create_attrTitle__EjectXXXVolumes(Image::named(kEjectUSBImage));
  if (!all_usb_title) return kStatusError;
  all_usb->set_attributed_title(std::move(*all_usb_title));
  add_item(*menu, all_usb, blIdx, kInfAllUSB, kGroupPortIdx);
  add_port_items(*menu, dev, blIdx, false, usb_port_count(type));
  set_eject_action(*eject_all, dev->vol_name_cnt > 0);
  set_eject_action(*all_usb, dev->vol_name_cnt > 0);

  if (type == kDockTypeUSB) {
    menu->add_item(MenuItem::separator_item());
    add_quit_item(*menu);
    menu->update();
    return kStatusSuccess;
  }
  menu->update();
  auto all_esata = MenuItem::create("", "", "");
  all_esata->set_tool_tip(kEjectAllESATAToolTip);
  auto all_esata_title = fn_create_attrTitle__EjectXXXVolumes(Image::named(kEjectESATAImage));
  if (!all_esata_title) return kStatusError;
  all_esata->set_attributed_title(std::move(*all_esata_title));
  add_item(*menu, all_esata, blIdx, kInfAllESATA, kGroupPortIdx);
  const std::uint8_t esata_volumes =
      type == kDockTypeUSBAndESATA ? add_port_items(*menu, dev, blIdx, true, esata_port_count(type)) : 0;
  set_eject_action(*all_esata, esata_volumes > 0);
  set_eject_action(*eject_all, dev->vol_name_cnt > 0);

  menu->add_item(MenuItem::separator_item());
  add_quit_item(*menu);
  menu->update();
  return kStatusSuccess;
}

}  // namespace berth::app
