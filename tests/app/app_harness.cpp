#include "tests/app/app_harness.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/services.h"
#include "tests/support/machine_builder.h"

namespace berth::testing {
namespace {

// The medium's type comes before its unit, as the scan reads them.
json usb_media(std::int64_t unit, const std::string& type) {
  json props = type.empty() ? json::array() : json::array({prop_str("Type", type)});
  props.push_back(prop_num("BSD Unit", unit));
  props.push_back(json::array({"Whole", {{"bool", true}}}));
  return entry("Media", "IOMedia", props);
}

json usb_controller(const DockSpec& dock, int bus) {
  json ports = json::array();
  for (std::size_t p = 0; p < dock.usb.size(); ++p) {
    json children = json::array();
    if (dock.usb[p])
      children.push_back(entry("Drive", "IOUSBHostDevice", json::array(),
                               json::array({entry("IOBlockStorageDriver", "IOBlockStorageDriver", json::array(),
                                                  json::array({usb_media(*dock.usb[p], dock.usb_type[p])}))})));
    ports.push_back(entry("SSP" + std::to_string(p + 1), "AppleUSB30XHCIPort",
                          json::array({prop_num("PortNum", static_cast<std::int64_t>(p + 1))}), children));
  }
  return pci_device("pci1b73,1100", {0x1B73, 0x1100, 0x1B73, 0x1100, std::to_string(bus) + ":0:0"},
                    json::array({entry("XHC1", "AppleUSBXHCIFL1100", json::array(), ports)}));
}

json sata_controller(const DockSpec& dock, int bus) {
  json ports = json::array();
  for (std::size_t p = 0; p < 3; ++p) {
    json children = json::array();
    if (p < dock.sata.size() && dock.sata[p])
      children.push_back(entry("IOAHCIDevice", "IOAHCIDevice", json::array(),
                               json::array({entry("Media", "IOMedia", json::array({prop_num("BSD Unit", *dock.sata[p])}))})));
    ports.push_back(entry("PRT" + std::to_string(p), "AppleAHCIPort", json::array(), children));
  }
  return pci_device("pci1b21,612", {0x1B21, 0x0612, 0x1AB6, 0x1060, std::to_string(bus) + ":0:0"},
                    json::array({entry("AppleAHCI", "AppleAHCI", json::array(), ports)}));
}

json dock_roots(const std::vector<DockSpec>& docks) {
  json roots = json::array();
  int bus = 100;
  for (const DockSpec& dock : docks) {
    json controllers = json::array({usb_controller(dock, bus)});
    if (dock.type == 10) controllers.push_back(sata_controller(dock, bus + 1));
    bus += 10;
    roots.push_back(thunderbolt("UPSB", 0x003D0000 | dock.type, dock.guid_low, controllers));
  }
  return roots;
}

}  // namespace

json mounted(const std::string& bsd, const std::string& name, json more) {
  json volume{{"name", name}, {"path", "/Volumes/" + name}, {"free_bytes", 1'000'000'000}};
  volume.update(more);
  return {{"bsd", bsd}, {"volume", volume}};
}

json unmounted(const std::string& bsd, const std::string& name) { return {{"bsd", bsd}, {"volume", {{"name", name}}}}; }

std::string app_machine(const std::vector<DockSpec>& docks, json disks, json extra) {
  json doc{{"registry", {{"roots", dock_roots(docks)}}}, {"disks", std::move(disks)}};
  doc.update(extra);
  return doc.dump();
}

ResourceDir::ResourceDir() {
  for (const char* name : {"eject", "eject-w", "eject_USB", "eject_USB-w", "eject_eSATA", "eject_eSATA-w"})
    write_png(std::string(name) + ".png", 24, 24);
  for (int k = 1; k <= 6; ++k) write_png("unit_" + std::to_string(k) + ".png", 40, 60);
  write_png("logo-n.png", 128, 96);
  write_png("logo-n-alt.png", 60, 60);
  const std::filesystem::path own = BERTH_APP_RESOURCES_DIR;
  std::filesystem::copy_file(own / "MainMenu.json", path() / "MainMenu.json");
  std::filesystem::copy_file(own / "Vantrel_loginitem.scpt", path() / "Vantrel_loginitem.scpt");
}

void ResourceDir::write_png(const std::string& file, std::uint32_t width, std::uint32_t height) {
  const auto be = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  std::ofstream out(path() / file, std::ios::binary);
  out << std::string("\x89PNG\r\n\x1A\n", 8) << be(13) << "IHDR" << be(width) << be(height)
      << std::string("\x08\x06\x00\x00\x00", 5) << be(0);
}

AppHarness::AppHarness(const std::string& machine_json, const std::function<void(ResourceDir&)>& adjust)
    : sim_(SimFixture::from_json(machine_json)) {
  if (adjust) adjust(resources_);
  sim_.machine().resources().set_default_resource_directory(resources_.path());
  headless_ = std::make_unique<app::HeadlessApp>();
  if (!headless_->launched()) throw std::runtime_error("launch failed: " + headless_->error());
  headless_->application().set_alert_responder(this);
}

std::string AppHarness::state() {
  const bool enabled = delegate().statusItem->is_enabled(), visible = delegate()._window_Msg->is_visible(),
             animating = delegate()._pgs_vol_eject->is_animating();
  if (!enabled && visible && animating) return "busy";
  if (enabled && !visible && !animating) return "idle";
  return format("enabled=%d visible=%d animating=%d", enabled, visible, animating);
}

int AppHarness::respond(const app::Alert& alert) {
  shown_.push_back(alert.message + (alert.informative.empty() ? "" : " | " + alert.informative) + " (" + state() + ")");
  return app::kAlertDefaultReturn;
}

std::string runs_text(const app::AttributedString& title) {
  std::string text;
  for (const app::AttributedRun& run : title.runs()) {
    if (const auto* image = std::get_if<app::ImageRun>(&run)) {
      text += "[" + (image->image ? image->image->name() : std::string("?")) + "]";
      continue;
    }
    const auto& part = std::get<app::TextRun>(run);
    text += "'" + part.text + "'";
    if (part.font_size) text += format("@%g", *part.font_size);
    if (part.baseline_offset) text += format("/%g", *part.baseline_offset);
  }
  return text;
}

Lines AppHarness::open_menu_lines() {
  EXPECT_TRUE(headless_->open_status_menu());
  Lines lines;
  for (const auto& item : menu().items()) {
    if (item->is_separator()) {
      lines.push_back("|");
      continue;
    }
    std::string line = format("%llX%c ", static_cast<unsigned long long>(item->tag()), item->is_enabled() ? '+' : '-');
    line += item->attributed_title() ? runs_text(*item->attributed_title()) : item->title();
    lines.push_back(item->tool_tip().empty() ? line : line + " | " + item->tool_tip());
  }
  return lines;
}

std::string AppHarness::open_menu_shape() {
  std::string shape;
  for (const std::string& line : open_menu_lines()) {
    const std::string token = line.substr(0, line.find(' '));
    shape += (shape.empty() ? "" : " ") + (token == "55500AAA+" ? "Q+" : token);
  }
  return shape;
}

void AppHarness::request(std::int64_t tag) {
  auto item = app::MenuItem::create("", "ibac_ejectVolumes:", "");
  item->set_tag(tag);
  delegate().ibac_ejectVolumes(item.get());
  run_loop().advance(0.5);
}

void AppHarness::eject(std::int64_t tag) {
  ASSERT_TRUE(headless_->open_status_menu());
  ASSERT_TRUE(headless_->choose(tag)) << "no enabled item tagged " << tag;
  ASSERT_TRUE(headless_->run_until_idle(10.0));
}

}  // namespace berth::testing
