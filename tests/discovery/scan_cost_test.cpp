// What a scan asks of the platform besides the registry: the terminal's width once per
// scan, not once for every entry it walks.
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

class CountingTerminal final : public ConsolePort {
 public:
  void write(Stream, std::string_view) override {}
  std::optional<std::uint32_t> terminal_columns(Stream) override {
    ++asked;
    return 80;
  }
  std::size_t asked = 0;
};

TEST(ScanCost, TheTerminalIsAskedForItsWidthOncePerScan) {
  json roots = json::array();
  for (std::uint32_t i = 0; i < 200; ++i) roots.push_back(pci_device("dev", {0x1000, i}));
  auto sim = SimFixture::from_json(machine(roots));
  CountingTerminal terminal;
  Services ports = services();
  ports.console = &terminal;
  const ScopedServices installed(ports);
  for (const std::size_t scans : {1u, 2u}) {
    scan_docks();
    EXPECT_EQ(terminal.asked, scans);
  }
}

}  // namespace
}  // namespace berth
