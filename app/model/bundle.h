#pragma once
// The main bundle: where the application is, its resources and its localized strings,
// all through the resources port.
#include <optional>
#include <string>
#include <string_view>

namespace berth::app {

class Bundle {
 public:
  static Bundle main_bundle() { return Bundle(); }

  std::string bundle_path() const;
  std::string resource_path() const;
  // The path of resource `name` of type `type`; nothing when the bundle has none.
  std::optional<std::string> path_for_resource(std::string_view name, std::string_view type) const;
  // The localized text for key; when there is none, `value` unless it is empty, else
  // the key itself. Only the default table exists, so `table` is accepted and unused.
  std::string localized_string(std::string_view key, std::string_view value, std::string_view table = {}) const;
};

}  // namespace berth::app
