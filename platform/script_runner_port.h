#pragma once
// Runs compiled scripts by Apple event: the application loads a script and sends it a
// subroutine-call event built from descriptors, as the login-item registration does.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace berth {

// A four-character code as its 32-bit number, first character in the high byte.
constexpr std::uint32_t four_char_code(const char (&code)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

inline constexpr std::uint32_t kTypeUTF8Text = four_char_code("utf8");
inline constexpr std::uint32_t kTypeAEList = four_char_code("list");
inline constexpr std::uint32_t kTypeProcessSerialNumber = four_char_code("psn ");
inline constexpr std::uint32_t kASAppleScriptSuite = four_char_code("ascr");
inline constexpr std::uint32_t kASSubroutineEvent = four_char_code("psbr");
inline constexpr std::uint32_t keyASSubroutineName = four_char_code("snam");
inline constexpr std::uint32_t keyDirectObject = four_char_code("----");
inline constexpr std::int16_t kAutoGenerateReturnID = -1;
inline constexpr std::int32_t kAnyTransactionID = 0;

// A descriptor: typed bytes, or (type 'list') a list of descriptors, index 1 first.
struct AppleEventDescriptor {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  std::vector<AppleEventDescriptor> items;
};

struct AppleEvent {
  std::uint32_t event_class = 0;
  std::uint32_t event_id = 0;
  AppleEventDescriptor target;
  std::int16_t return_id = 0;
  std::int32_t transaction_id = 0;
  std::vector<std::pair<std::uint32_t, AppleEventDescriptor>> parameters;  // keyword, value

  const AppleEventDescriptor* parameter(std::uint32_t keyword) const {
    for (const auto& [key, value] : parameters)
      if (key == keyword) return &value;
    return nullptr;
  }
};

using script_handle_t = std::uint32_t;  // 0 is none

struct ScriptLoadResult {
  script_handle_t script = 0;          // 0 when no script could be made
  std::optional<std::string> errors;   // the error dictionary's description, when one was given
  std::string description;             // the script object's description
};

struct ScriptExecuteResult {
  bool has_result = false;
  std::string errors;  // the error dictionary's description when there is no result
};

class ScriptRunnerPort {
 public:
  virtual ~ScriptRunnerPort() = default;
  // Loads the compiled script at a file path.
  virtual ScriptLoadResult load_script(const std::string& path) = 0;
  virtual ScriptExecuteResult execute(script_handle_t script, const AppleEvent& event) = 0;
  virtual void release_script(script_handle_t script) = 0;
};

}  // namespace berth
