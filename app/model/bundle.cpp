#include "app/model/bundle.h"

#include "platform/services.h"

namespace berth::app {

std::string Bundle::bundle_path() const {
  ResourcesPort* resources = services().resources;
  return resources ? resources->bundle_path() : std::string();
}

std::string Bundle::resource_path() const {
  ResourcesPort* resources = services().resources;
  return resources ? resources->resource_directory() : std::string();
}

std::optional<std::string> Bundle::path_for_resource(std::string_view name, std::string_view type) const {
  ResourcesPort* resources = services().resources;
  if (!resources) return std::nullopt;
  return resources->path_for_resource(name, type);
}

std::string Bundle::localized_string(std::string_view key, std::string_view value, std::string_view) const {
  const std::string_view fallback = value.empty() ? key : value;
  ResourcesPort* resources = services().resources;
  return resources ? resources->localized_string(key, fallback) : std::string(fallback);
}

}  // namespace berth::app
