// The suppression-file reader and the address globs: any text gives entries
// or a RuleFileError, never another exception, a crash or unbounded memory;
// every entry has its reason, and its glob can be matched in bounded time.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/check/suppression_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx::app::check;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    for (const Suppression& s : ParseSuppressionFile(text, "fuzz.yaml")) {
      if (s.reason.empty() || s.rule.empty() || s.address.empty()) std::abort();
      (void)AddressGlobMatches(s.address, text.substr(0, 4096));
      (void)SuppressionNamesRule(s, ClassicRules()[0]);
    }
  } catch (const RuleFileError&) {
  }
  // The input itself as a glob over itself and over a fixed address.
  const std::string_view glob = text.substr(0, 512);
  (void)AddressGlobMatches(glob, text.substr(0, 4096));
  (void)AddressGlobMatches(glob, "https://example.com/a/b/page.html?q=1");
  return 0;
}
