#pragma once
// The roles an object of the interface file can take: receiver of outlets, target of
// actions sent up the responder chain, menu delegate and application delegate. An
// object takes the roles it derives from.
#include <memory>
#include <string_view>
#include <variant>

namespace berth::app {

class Menu;
class MenuItem;
class Window;
class TextField;
class ProgressIndicator;

using InterfaceElement =
    std::variant<std::shared_ptr<Window>, std::shared_ptr<TextField>, std::shared_ptr<ProgressIndicator>>;

class InterfaceObject {
 public:
  virtual ~InterfaceObject() = default;
  // Connects an outlet named in the interface file; false for an unknown outlet.
  virtual bool set_outlet(std::string_view name, const InterfaceElement& element) = 0;
  // Called once every object of the file exists and every outlet is connected.
  virtual void awakeFromNib() {}
};

class Responder {
 public:
  virtual ~Responder() = default;
  // Performs the action named by its selector ("ibac_ejectVolumes:"); false when this
  // responder has no such action.
  virtual bool perform_action(std::string_view selector, MenuItem* sender) = 0;
};

class MenuDelegate {
 public:
  virtual ~MenuDelegate() = default;
  virtual void menuWillOpen(Menu&) {}
  virtual void menu_willHighlightItem(Menu&, MenuItem*) {}
};

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() {}
};

}  // namespace berth::app
