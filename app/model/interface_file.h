#pragma once
// The application's interface file: a JSON resource that describes the objects made at
// start-up (the application delegate, windows and their controls) and the outlets that
// connect them. Loading it makes every object, connects every outlet, then wakes every
// object (awakeFromNib) and shows the windows marked visible at launch.
//
// {"application_delegate": "delegate",
//  "objects": [{"id": "delegate", "class": "AppDelegate"},
//              {"id": "w", "class": "Window", "title": "...", "frame": [x, y, w, h],
//               "visible_at_launch": false,
//               "content": [{"id": "t", "class": "TextField", "frame": [...], "font_size": 13},
//                           {"id": "p", "class": "ProgressIndicator", "frame": [...], "indeterminate": true}]}],
//  "outlets": [{"object": "delegate", "outlet": "_tf_Msg", "element": "t"}]}
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/model/responder.h"
#include "app/model/window.h"

namespace berth::app {

// Makes an object of a class named in the file; null for a class it does not know.
using ObjectFactory = std::function<std::unique_ptr<InterfaceObject>(std::string_view class_name)>;

struct LoadedInterface {
  std::vector<std::unique_ptr<InterfaceObject>> objects;
  std::vector<std::shared_ptr<Window>> windows;
  InterfaceObject* application_delegate = nullptr;
};

struct InterfaceLoadResult {
  std::optional<LoadedInterface> loaded;
  std::string error;  // why nothing was loaded
};

InterfaceLoadResult load_interface_text(std::string_view text, const ObjectFactory& classes);
// The interface file `name` ("MainMenu") of the main bundle, type "json".
InterfaceLoadResult load_interface_file(std::string_view name, const ObjectFactory& classes);

}  // namespace berth::app
