#include "app/model/interface_file.h"

#include <fstream>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/model/bundle.h"

namespace berth::app {
namespace {

using nlohmann::json;

struct LoadError {
  std::string message;
};

const json& member(const json& object, const char* key, std::string_view where) {
  if (!object.is_object() || !object.contains(key))
    throw LoadError{std::string(where) + ": missing \"" + key + "\""};
  return object.at(key);
}

std::string string_member(const json& object, const char* key, std::string_view where) {
  const json& value = member(object, key, where);
  if (!value.is_string()) throw LoadError{std::string(where) + ": \"" + key + "\" must be a string"};
  return value.get<std::string>();
}

Rect frame_of(const json& object, std::string_view where) {
  const json& frame = member(object, "frame", where);
  if (!frame.is_array() || frame.size() != 4 || !std::all_of(frame.begin(), frame.end(), [](const json& v) { return v.is_number(); }))
    throw LoadError{std::string(where) + ": \"frame\" must be four numbers"};
  return {frame[0].get<double>(), frame[1].get<double>(), frame[2].get<double>(), frame[3].get<double>()};
}

class Loader {
 public:
  explicit Loader(const ObjectFactory& classes) : classes_(classes) {}

  LoadedInterface load(const json& doc) {
    const json& objects = member(doc, "objects", "interface");
    if (!objects.is_array()) throw LoadError{"interface: \"objects\" must be an array"};
    for (const json& object : objects) make_top_level(object);
    connect_outlets(doc);
    if (doc.contains("application_delegate")) {
      const std::string id = string_member(doc, "application_delegate", "interface");
      const auto it = objects_by_id_.find(id);
      if (it == objects_by_id_.end()) throw LoadError{"interface: no object \"" + id + "\" for the application delegate"};
      result_.application_delegate = it->second;
    }
    for (const auto& object : result_.objects) object->awakeFromNib();
    for (const auto& [window, visible] : launch_visibility_)
      if (visible) window->set_is_visible(true);
    return std::move(result_);
  }

 private:
  std::string new_id(const json& object, std::string_view where) {
    std::string id = string_member(object, "id", where);
    if (!ids_.insert(id).second) throw LoadError{std::string(where) + ": id \"" + id + "\" is used twice"};
    return id;
  }

  void make_top_level(const json& object) {
    const std::string id = new_id(object, "object");
    const std::string class_name = string_member(object, "class", "object \"" + id + "\"");
    if (class_name == "Window") {
      make_window(object, id);
      return;
    }
    std::unique_ptr<InterfaceObject> made = classes_ ? classes_(class_name) : nullptr;
    if (!made) throw LoadError{"object \"" + id + "\": unknown class \"" + class_name + "\""};
    objects_by_id_[id] = made.get();
    result_.objects.push_back(std::move(made));
  }

  void make_window(const json& object, const std::string& id) {
    const std::string where = "window \"" + id + "\"";
    auto window = std::make_shared<Window>(object.value("title", std::string()), frame_of(object, where));
    if (object.contains("content")) {
      const json& content = object.at("content");
      if (!content.is_array()) throw LoadError{where + ": \"content\" must be an array"};
      for (const json& control : content) window->add_content(make_control(control));
    }
    elements_[id] = window;
    launch_visibility_.emplace_back(window, object.value("visible_at_launch", false));
    result_.windows.push_back(std::move(window));
  }

  InterfaceElement make_control(const json& control) {
    const std::string id = new_id(control, "control");
    const std::string where = "control \"" + id + "\"";
    const std::string class_name = string_member(control, "class", where);
    InterfaceElement element;
    if (class_name == "TextField")
      element = std::make_shared<TextField>(frame_of(control, where), control.value("font_size", 13.0));
    else if (class_name == "ProgressIndicator")
      element = std::make_shared<ProgressIndicator>(frame_of(control, where), control.value("indeterminate", true));
    else
      throw LoadError{where + ": unknown class \"" + class_name + "\""};
    elements_[id] = element;
    return element;
  }

  void connect_outlets(const json& doc) {
    if (!doc.contains("outlets")) return;
    const json& outlets = doc.at("outlets");
    if (!outlets.is_array()) throw LoadError{"interface: \"outlets\" must be an array"};
    for (const json& outlet : outlets) {
      const std::string object_id = string_member(outlet, "object", "outlet");
      const std::string name = string_member(outlet, "outlet", "outlet");
      const std::string element_id = string_member(outlet, "element", "outlet");
      const auto object = objects_by_id_.find(object_id);
      const auto element = elements_.find(element_id);
      if (object == objects_by_id_.end() || element == elements_.end())
        throw LoadError{"outlet \"" + name + "\": no object \"" + object_id + "\" or element \"" + element_id + "\""};
      if (!object->second->set_outlet(name, element->second))
        throw LoadError{"outlet \"" + name + "\": object \"" + object_id + "\" has no such outlet"};
    }
  }

  const ObjectFactory& classes_;
  LoadedInterface result_;
  std::set<std::string> ids_;
  std::map<std::string, InterfaceObject*> objects_by_id_;
  std::map<std::string, InterfaceElement> elements_;
  std::vector<std::pair<std::shared_ptr<Window>, bool>> launch_visibility_;
};

}  // namespace

InterfaceLoadResult load_interface_text(std::string_view text, const ObjectFactory& classes) {
  const json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return {std::nullopt, "the interface file is not a JSON object"};
  try {
    return {Loader(classes).load(doc), {}};
  } catch (const LoadError& error) {
    return {std::nullopt, error.message};
  } catch (const json::exception& error) {
    return {std::nullopt, error.what()};
  }
}

InterfaceLoadResult load_interface_file(std::string_view name, const ObjectFactory& classes) {
  const auto path = Bundle::main_bundle().path_for_resource(name, "json");
  if (!path) return {std::nullopt, "no interface file \"" + std::string(name) + "\" among the resources"};
  std::ifstream in(*path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) return {std::nullopt, "cannot read " + *path};
  return load_interface_text(text.str(), classes);
}

}  // namespace berth::app
