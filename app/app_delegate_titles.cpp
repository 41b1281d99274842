// The attributed titles of the group commands, and the "-w" icon of the highlighted one.
#include "app/app_delegate.h"
#include "app/app_texts.h"

namespace berth::app {
namespace {

constexpr std::int64_t kDockTagStep = 65536;
constexpr std::int64_t kEjectAllTag = 0x3FF;
constexpr std::int64_t kAllUSBTag = 0x4FF;
constexpr std::int64_t kAllESATATag = 0x8FF;

// The dock index whose group tag `tag` is, for dock indexes 0 to 5.
std::optional<std::uint8_t> dock_of_group_tag(std::int64_t tag, std::int64_t group) {
  for (std::int64_t d = 0; d <= kMaxDockIndex; ++d)
    if (tag == d * kDockTagStep + group) return static_cast<std::uint8_t>(d);
  return std::nullopt;
}

}  // namespace

const std::shared_ptr<Image>& AppDelegate::unit_image(std::uint8_t blIdx) const {
  static const std::shared_ptr<Image> kNone;
  const std::array<const std::shared_ptr<Image>*, 6> units{&_img_unit1, &_img_unit2, &_img_unit3,
                                                           &_img_unit4, &_img_unit5, &_img_unit6};
  return blIdx < units.size() ? *units[blIdx] : kNone;
}

std::optional<AttributedString> AppDelegate::fn_create_attrTitle__EjectAllVolumes(
    const std::shared_ptr<Image>& inImg1, const std::shared_ptr<Image>& inImg2) {
  if (!inImg1 || !inImg2) return std::nullopt;
  AttributedString title = AttributedString::with_attachment(inImg1);
  AttributedString text(kEjectAllText);
  text.add_font_attribute(kTitleFontSize);
  text.add_baseline_offset_attribute(kEjectAllBaselineOffset);
  title.append(text);
  title.append(AttributedString::with_attachment(inImg2));
  return title;
}

std::optional<AttributedString> AppDelegate::fn_create_attrTitle__EjectXXXVolumes(const std::shared_ptr<Image>& inImg) {
  if (!inImg) return std::nullopt;
  AttributedString title(kGroupIndent);
  title.add_font_attribute(kTitleFontSize);
  title.append(title);
  title.append(AttributedString::with_attachment(inImg));
  return title;
}

void AppDelegate::fn_update_imgs__menuItem(MenuItem* item, const std::shared_ptr<Image>& inImg) {
  if (!item || !inImg) return;
  const auto dock = dock_of_group_tag(item->tag(), kEjectAllTag);
  if (!dock) return;
  if (auto title = fn_create_attrTitle__EjectAllVolumes(unit_image(*dock), inImg))
    item->set_attributed_title(std::move(*title));
}

void AppDelegate::menu_willHighlightItem(Menu&, MenuItem* item) {
  const std::shared_ptr<Menu> menu = status_menu();
  if (!menu) return;
  for (std::int64_t d = 0; d <= kMaxDockIndex; ++d) {
    if (const auto eject_all = menu->item_with_tag(d * kDockTagStep + kEjectAllTag))
      fn_update_imgs__menuItem(eject_all.get(), Image::named(kEjectImage));
    if (const auto all_usb = menu->item_with_tag(d * kDockTagStep + kAllUSBTag)) {
      auto title = fn_create_attrTitle__EjectXXXVolumes(Image::named(kEjectUSBImage));
      if (!title) return;
      all_usb->set_attributed_title(std::move(*title));
    }
    if (const auto all_esata = menu->item_with_tag(d * kDockTagStep + kAllESATATag)) {
      auto title = fn_create_attrTitle__EjectXXXVolumes(Image::named(kEjectESATAImage));
      if (!title) return;
      all_esata->set_attributed_title(std::move(*title));
    }
  }
  if (!item) return;
  const std::int64_t tag = item->tag();
  if (dock_of_group_tag(tag, kEjectAllTag)) {
    fn_update_imgs__menuItem(item, Image::named(kEjectImageHighlighted));
  } else if (dock_of_group_tag(tag, kAllUSBTag)) {
    if (auto title = fn_create_attrTitle__EjectXXXVolumes(Image::named(kEjectUSBImageHighlighted)))
      item->set_attributed_title(std::move(*title));
  } else if (dock_of_group_tag(tag, kAllESATATag)) {
    if (auto title = fn_create_attrTitle__EjectXXXVolumes(Image::named(kEjectESATAImageHighlighted)))
      item->set_attributed_title(std::move(*title));
  }
}

}  // namespace berth::app
