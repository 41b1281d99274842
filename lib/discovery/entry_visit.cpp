#include "lib/discovery/entry_visit.h"

#include "lib/discovery/device_tables.h"
#include "lib/discovery/diagnostics.h"
#include "platform/services.h"

namespace berth {

void visit_entry(io_object_t entry, const ioreg_options& options, const EntryVisit& visit) {
  RegistryPort& registry = *services().registry;
  char name[128] = {};
  if (registry.get_name_in_plane(entry, options.plane, name) != kIOReturnSuccess) {
    assertion(false, "can't obtain name");
    if (visit.name_failure_line) write_err(visit.name_failure_line);
    return;
  }
  if (visit.accept_name && !visit.accept_name(options, name)) return;

  PropertyTableRef table = 0;
  if (registry.create_properties(entry, &table) != kIOReturnSuccess) {
    assertion(false, "can't obtain properties");
    return;
  }
  ioreg_context context{options, options.index};
  if (visit.table) {
    context.record_index = *visit.table->count;
    if (context.record_index >= kRecordTableCapacity) {
      println("%s", visit.table->overflow_line);
      registry.release_properties(table);
      return;
    }
    visit.table->set_service(context.record_index, entry);
  }
  registry.apply_properties(table, [&](const PropertyValue& key, const PropertyValue& value) {
    visit.handler(key, value, context);
  });
  if (visit.table) ++*visit.table->count;
  registry.release_properties(table);
}

}  // namespace berth
