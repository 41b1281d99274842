#pragma once
// Owning pointers for the GLib and GObject values the UDisks client hands out.
#include <glib-object.h>

#include <memory>

namespace berth::linux_host {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<gchar, GFree>;

// A list of objects with a reference each, as g_dbus_object_manager_get_objects gives.
struct GObjectListFree {
  void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using GObjectListPtr = std::unique_ptr<GList, GObjectListFree>;

}  // namespace berth::linux_host
