#pragma once
// VantrelRegCtlClientTool, first part: the device-adjusted register write that every
// register protocol uses, opening and closing a connection, the sample calls, the
// port-injector check, the sibling-application launcher and the window dump.
#include <cstdint>
#include <functional>
#include <string_view>

#include "lib/discovery/device_tables.h"
#include "platform/driver_port.h"

namespace berth {

// The record of the sample calls.
struct SampleRecord {
  std::uint64_t field1;
  std::uint64_t field2;
};

inline constexpr std::string_view kPortInjectorPlistPath =
    "/System/Library/Extensions/VantrelRegCtl.kext/Contents/PlugIns/AHCIPortInjector.kext/Contents/Info.plist";
inline constexpr std::string_view kConsoleAppPath = "/Applications/KESTRELVIEW";

// Writes a BAR5 register of the record's controller. Controllers with device ID
// 0x9123, 0x9125 or 0x9128 need 0x06000000 in every value written to the index
// register (0xA8). A null record writes nothing and yields 0xe00002bc.
kern_return_t __My_BAR5_ioWrite32(io_connect_t connect, sDevice* dev, std::uint16_t offset, std::uint32_t value);

// Opens a user client on the service and sends selector 0; the first failing status
// is returned. When selector 0 fails the connection stays open for the caller to close.
kern_return_t MyUserClientOpenExample(io_object_t service, io_connect_t* connect);
void MyUserClientCloseExample(io_connect_t connect);

// What the entry points on a dock record share: open a connection on the record's
// service, run the operation on it, close it. Prints "NAME Err2" on standard error when
// no connection results and, when asked, "NAME Err1" when the operation fails. 0 on
// success, else 0xe00002bc; the caller has checked the record and its service.
kern_return_t run_on_record_service(sDevice* dev, const char* name, const std::function<bool(io_connect_t)>& operation,
                                    bool report_failure);

void MyScalarIStructureIExample(io_connect_t connect);
void MyScalarIStructureOExample(io_connect_t connect);
void MyStructureIStructureOExample(io_connect_t connect);
// The port-injector check followed by the selector-4 exchange.
void MyScalarIScalarOExample(io_connect_t connect);

void MyLaunchConsoleApp();

// Prints every indirect register from 0 to 0xFFFFC whose value is neither 0 nor 1.
bool dump_BAR5_A8(io_connect_t connect, sDevice* dev);

}  // namespace berth
