#pragma once
// Menus and menu items. Items are shared: the menu holds each of its items, and so may
// whoever created them. Enabling is automatic: an item with an action is enabled, an
// item without one (and every separator) is not.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/model/attributed_string.h"

namespace berth::app {

class Menu;
class MenuDelegate;

class MenuItem : public std::enable_shared_from_this<MenuItem> {
 public:
  // A new item: title, action selector (empty: none) and key equivalent.
  static std::shared_ptr<MenuItem> create(std::string title, std::string action, std::string key_equivalent);
  static std::shared_ptr<MenuItem> separator_item();

  bool is_separator() const { return separator_; }
  bool is_enabled() const { return !separator_ && !action_.empty(); }
  const std::string& title() const { return title_; }
  void set_title(std::string title);
  const std::optional<AttributedString>& attributed_title() const { return attributed_title_; }
  void set_attributed_title(AttributedString title);
  std::int64_t tag() const { return tag_; }
  void set_tag(std::int64_t tag);
  const std::string& action() const { return action_; }
  void set_action(std::string action);
  const std::string& tool_tip() const { return tool_tip_; }
  void set_tool_tip(std::string tool_tip);
  const std::string& key_equivalent() const { return key_equivalent_; }
  // The menu the item is in; null when in none.
  Menu* menu() const { return menu_; }

  // Use create() or separator_item().
  MenuItem(std::string title, std::string action, std::string key_equivalent, bool separator);
  ~MenuItem();
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

 private:
  friend class Menu;
  void changed();

  std::string title_;
  std::optional<AttributedString> attributed_title_;
  std::int64_t tag_ = 0;
  std::string action_;
  std::string tool_tip_;
  std::string key_equivalent_;
  bool separator_ = false;
  Menu* menu_ = nullptr;
};

class Menu {
 public:
  Menu() = default;
  ~Menu();
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  void add_item(std::shared_ptr<MenuItem> item);
  void remove_all_items();
  std::size_t number_of_items() const { return items_.size(); }
  const std::vector<std::shared_ptr<MenuItem>>& items() const { return items_; }
  // The first item with this tag; null when none has it.
  std::shared_ptr<MenuItem> item_with_tag(std::int64_t tag) const;
  // Asks the menu to bring its items' look up to date (enabling is computed at once).
  void update();
  std::size_t update_count() const { return update_count_; }
  MenuDelegate* delegate() const { return delegate_; }
  void set_delegate(MenuDelegate* delegate) { delegate_ = delegate; }

  // Tracking, as the user drives it through a front end. open() tells the delegate that
  // the menu will open and returns once it has answered; highlight() moves the highlight
  // (null: none); choose() sends an enabled item's action up the responder chain and
  // closes the menu, and is refused for a disabled item or one not in this menu.
  void open();
  void highlight(MenuItem* item);
  bool choose(MenuItem& item);
  void close();
  bool is_open() const { return open_; }
  MenuItem* highlighted_item() const { return highlighted_; }

 private:
  void changed();

  std::vector<std::shared_ptr<MenuItem>> items_;
  MenuDelegate* delegate_ = nullptr;
  MenuItem* highlighted_ = nullptr;
  bool open_ = false;
  std::size_t update_count_ = 0;
};

}  // namespace berth::app
