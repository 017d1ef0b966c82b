// The stored property set: any JSON text is read or refused with the
// reader's own error, and what a button writes back reads back to itself
// (write, read, write again: the same set).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "button/model/torvel_button.h"
#include "platform/host/headless.h"
#include "platform/host/json_property_bag.h"
#include "platform/json/json_reader.h"

namespace {

// Reads `bag` into a new button and returns what it writes back.
vx::host::JsonPropertyBag::Json RoundTrip(vx::host::JsonPropertyBag& bag) {
  vx::host::HeadlessHost host;
  vx::button::TorvelButton button(host.site());
  host.Join(&button);
  button.ReadProperties(bag);
  vx::host::JsonPropertyBag written;
  button.WriteProperties(written);
  return written.json();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  vx::json::Json stored;
  try {
    stored = vx::json::Parse(text, "fuzz.json");
  } catch (const vx::json::JsonReadError&) {
    return 0;
  }
  vx::json::Json first;
  try {
    vx::host::JsonPropertyBag bag(std::move(stored));
    first = RoundTrip(bag);
  } catch (const vx::button::PropertyError&) {
    return 0;  // a value the button refuses, named by its key
  } catch (const vx::host::HostError&) {
    return 0;  // not an object
  }
  // What the button wrote it must read, and write the same again.
  vx::host::JsonPropertyBag again(first);
  const vx::json::Json second = RoundTrip(again);
  if (vx::json::Dump(first) != vx::json::Dump(second)) std::abort();
  return 0;
}
