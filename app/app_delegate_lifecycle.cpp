// Start-up, the status item, the refresh at every opening of the status menu, and Quit.
#include "app/app_delegate.h"
#include "app/app_texts.h"
#include "app/model/bundle.h"
#include "lib/discovery/discovery.h"
#include "platform/services.h"

namespace berth::app {
namespace {

constexpr float kUnitImageScale = 0.35f;
constexpr float kLogoScale = 0.1875f;
constexpr float kLogoAltScale = 0.3f;

// The image at its own size times a single-precision factor, scaled when drawn.
void scale_image(const std::shared_ptr<Image>& image, float factor) {
  if (!image) return;
  image->set_scales_when_resized(true);
  const Size own = image->size();
  image->set_size({own.width * static_cast<double>(factor), own.height * static_cast<double>(factor)});
}

}  // namespace

AppDelegate::AppDelegate(Application& application)
    : application_(application), self_(std::make_shared<AppDelegate*>(this)) {}

AppDelegate::~AppDelegate() {
  if (tmr_pollDevInfo) tmr_pollDevInfo->invalidate();
}

std::unique_ptr<InterfaceObject> make_interface_object(std::string_view class_name) {
  Application* application = Application::current();
  if (class_name != "AppDelegate" || !application) return nullptr;
  return std::make_unique<AppDelegate>(*application);
}

bool AppDelegate::set_outlet(std::string_view name, const InterfaceElement& element) {
  if (name == "_window_Msg" && std::holds_alternative<std::shared_ptr<Window>>(element))
    _window_Msg = std::get<std::shared_ptr<Window>>(element);
  else if (name == "window" && std::holds_alternative<std::shared_ptr<Window>>(element))
    window = std::get<std::shared_ptr<Window>>(element);
  else if (name == "_tf_Msg" && std::holds_alternative<std::shared_ptr<TextField>>(element))
    _tf_Msg = std::get<std::shared_ptr<TextField>>(element);
  else if (name == "_pgs_vol_eject" && std::holds_alternative<std::shared_ptr<ProgressIndicator>>(element))
    _pgs_vol_eject = std::get<std::shared_ptr<ProgressIndicator>>(element);
  else
    return false;
  return true;
}

void AppDelegate::awakeFromNib() {
  application_.set_activation_policy(ActivationPolicy::accessory);
  tmr_pollDevInfo = nullptr;
  std::array<std::shared_ptr<Image>*, 6> units{&_img_unit1, &_img_unit2, &_img_unit3,
                                               &_img_unit4, &_img_unit5, &_img_unit6};
  for (std::size_t k = 0; k < units.size(); ++k) {
    *units[k] = Image::named("unit_" + std::to_string(k + 1));
    scale_image(*units[k], kUnitImageScale);
  }
}

void AppDelegate::applicationDidFinishLaunching() {
  _bl_cnt = 0;
  _cnt__pool_itemMenu = 0;
  _cnt__pool_subMenu = 0;
  _pool_itemMenu.fill(nullptr);
  _pool_subMenu.fill(nullptr);
  activateStatusMenu();
  _runAppleScriptWithCommand(kLoginItemHandler, kLoginItemScript, Bundle::main_bundle().bundle_path());
}

void AppDelegate::activateStatusMenu() {
  logoImg_Icon_None = Image::named("logo-n.png");
  logoImg_Icon_None_alt = Image::named("logo-n-alt.png");
  scale_image(logoImg_Icon_None, kLogoScale);
  scale_image(logoImg_Icon_None_alt, kLogoAltScale);
  statusItem = application_.system_status_bar().status_item_with_length(kVariableStatusItemLength);
  statusItem->set_title(Bundle::main_bundle().localized_string("", ""));
  statusItem->set_highlight_mode(true);
  statusItem->set_image(logoImg_Icon_None);
  statusItem->set_alternate_image(logoImg_Icon_None_alt);
  statusItem->set_tool_tip(kAppTitle);
  statusItem->set_menu(std::make_shared<Menu>());
  statusItem->set_target(this);
  statusItem->menu()->set_delegate(dynamic_cast<MenuDelegate*>(statusItem->target()));
  thread_pollDevicesInfo();
}

void AppDelegate::menuWillOpen(Menu& menu) {
  if (statusItem && statusItem->menu().get() == &menu) thread_pollDevicesInfo();
}

std::shared_ptr<Menu> AppDelegate::status_menu() const { return statusItem ? statusItem->menu() : nullptr; }

void AppDelegate::thread_pollDevicesInfo() {
  scan_for_devices(&_bl_cnt);
  fn_remove_all_menuItems();
  const std::shared_ptr<Menu> menu = status_menu();
  if (!menu) return;
  for (std::uint32_t i = 0; i < _bl_cnt && i < kDeviceSlotCount; ++i) {
    sDevice* dev = &vtr_device_list[i].dev;
    if (fn_is_BLxxx(dev)) fn_build_BLxxx_menuItem(dev, static_cast<std::uint8_t>(i));
  }
  if (_bl_cnt != 0) return;
  auto no_dock = MenuItem::create(kNoDockTitle, "", "");
  no_dock->set_tag(kNoDockTag);
  menu->add_item(no_dock);
  fn_store_menuItem(no_dock);
  add_quit_item(*menu);
  menu->update();
}

void AppDelegate::add_quit_item(Menu& menu) {
  auto quit = MenuItem::create(kQuitTitle, kQuitAction, "");
  quit->set_tag(kQuitTag);
  menu.add_item(quit);
  fn_store_menuItem(quit);
}

bool AppDelegate::perform_action(std::string_view selector, MenuItem* sender) {
  if (selector == kEjectAction) ibac_ejectVolumes(sender);
  else if (selector == kQuitAction) ibac_func_Quit(sender);
  else if (selector == kFunc1Action) ibac_func1(sender);
  else if (selector == kDevicesChangedAction) timer_pollDevInfo_CBF();
  else return false;
  return true;
}

void AppDelegate::ibac_func_Quit(MenuItem*) { application_.terminate(); }

void AppDelegate::ibac_func1(MenuItem*) { syslog_printf("%s:", "-[AppDelegate ibac_func1:]"); }

std::string AppDelegate::localized(std::string_view text) const {
  return Bundle::main_bundle().localized_string(text, "");
}

}  // namespace berth::app
