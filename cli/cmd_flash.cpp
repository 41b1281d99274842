// berthctl flash id|version|dump|program: the SATA controller's SPI flash.
#include <fstream>
#include <string>

#include "cli/commands.h"
#include "cli/flash_program.h"
#include "cli/regctl_session.h"
#include "lib/regctl/spi_flash.h"
#include "lib/regctl/tmp_files.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

// The version bytes as text: an erased or foreign flash gives bytes that are not
// UTF-8, which a JSON document cannot carry; each byte is taken as its Latin-1 character.
std::string version_text(const sDevice& dev) {
  std::string text;
  for (std::size_t i = 0; i < sizeof dev.bios_ver && dev.bios_ver[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(dev.bios_ver[i]);
    if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

int flash_id(std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  const std::uint32_t service = take_service(args);
  expect_no_more(args);
  const auto session = ControllerSession::open(service);
  std::uint32_t id = 0;
  if (!session || !get_VID_DID_9182_spi_flash(session->connection(), session->record(), &id))
    return finish(as_json, kIOReturnError);
  if (as_json) print_json({{"spi_flash_id", hex32(id)}});
  else write_out("spi_flash_id " + hex32(id) + "\n");
  return kExitOk;
}

int flash_version(std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  const std::uint32_t service = take_service(args);
  expect_no_more(args);
  const auto session = ControllerSession::open(service);
  if (!session) return finish(as_json, kIOReturnError);
  if (!get_M9182_BIOS_version(session->connection(), session->record())) {
    write_err("flash version: the version words could not be read\n");
    return finish(as_json, kIOReturnError);
  }
  const std::string version = version_text(*session->record());
  if (as_json) print_json({{"bios_ver", version}});
  else write_out("bios_ver " + printable(version) + "\n");
  return kExitOk;
}

// Copies what the library's dump wrote to its /tmp file into path.
bool copy_dump(const std::string& dumped, const std::string& path) {
  std::vector<char> bytes(kFlashSize + 1);
  const FilePtr in = open_file_nofollow(dumped.c_str());
  if (!in || std::fread(bytes.data(), 1, bytes.size(), in.get()) != kFlashSize) {
    write_err("flash dump: cannot read the dump back from " + dumped + "\n");
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), kFlashSize);
  out.close();
  if (!out) write_err("flash dump: cannot write " + path + "\n");
  return static_cast<bool>(out);
}

// The library's dump (its own connection, its /tmp file, its lines), then, with
// --out, that file's bytes into FILE.
int flash_dump(std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  const auto out_path = take_option(args, "--out");
  const std::uint32_t service = take_service(args);
  expect_no_more(args);
  const auto dev = ControllerSession::record_for_entry_point(service, {.location = true});
  if (!dev) return finish(as_json, kIOReturnError);
  kern_return_t status = spi_flash_dump(dev.get());
  // The fixed name, or the private file the library took when someone else held it.
  const std::string dumped = last_9182_spi_flash_dump_path();
  if (status == kIOReturnSuccess && out_path && !copy_dump(dumped, *out_path)) status = kIOReturnError;
  if (status != kIOReturnSuccess) return finish(as_json, status);
  const std::string& file = out_path ? *out_path : dumped;
  if (!as_json) write_out(format("flash dump: %u bytes written to %s\n", kFlashSize, file.c_str()));
  return finish(as_json, status, {{"file", file}, {"bytes", kFlashSize}});
}

}  // namespace

int cmd_flash(CliContext& context, std::vector<std::string_view> args) {
  const std::string_view action = take_action(args, {"--service", "--out", "--file", "--backup"});
  if (action.empty()) throw UsageError{"flash needs id, version, dump or program"};
  if (action == "id") return flash_id(std::move(args));
  if (action == "version") return flash_version(std::move(args));
  if (action == "dump") return flash_dump(std::move(args));
  if (action == "program") return flash_program(std::move(args), context.machine->has_real_controllers());
  throw UsageError{"unknown flash action \"" + std::string(action) + "\" (id, version, dump or program)"};
}

}  // namespace berth::cli
