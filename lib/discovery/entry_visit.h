#pragma once
// The entry visit shared by the recording modes (1, 3, 5) and the disk modes (4, 6):
// name, optional name checks, property table, record slot, handler per property.
#include <cstdint>

#include "lib/discovery/registry_walker.h"

namespace berth {

using PropertyHandler = void (*)(const PropertyValue& key, const PropertyValue& value, const ioreg_context& context);

// A table that gets one record per visited entry (modes 1, 3, 5).
struct RecordingTable {
  std::uint32_t* count;
  const char* overflow_line;
  void (*set_service)(std::uint32_t index, io_object_t entry);
};

struct EntryVisit {
  const char* name_failure_line;  // written after the assertion line; nullptr for none
  const RecordingTable* table;    // nullptr: the handler writes the record at options.index
  bool (*accept_name)(const ioreg_options& options, const char* name);  // nullptr: every name
  PropertyHandler handler;
};

void visit_entry(io_object_t entry, const ioreg_options& options, const EntryVisit& visit);

// The per-mode actions, one per walk mode.
void show_io_pci_devices(io_object_t entry, const ioreg_options& options);
void show_services_under_TB(io_object_t entry, const ioreg_options& options);
void show_M9182(io_object_t entry, const ioreg_options& options);
void show_M9182_disks(io_object_t entry, const ioreg_options& options);
void show_FL1100(io_object_t entry, const ioreg_options& options);
void show_FL1100_disks(io_object_t entry, const ioreg_options& options);

}  // namespace berth
