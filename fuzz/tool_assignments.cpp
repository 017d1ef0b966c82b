// torvelbutton's --set and --assign values: any KEY=VALUE text, enumerated
// values by number or name, is taken or refused with a reason, and the note
// on an assignment the run-time rules ignore is made for any value. Input:
// the first byte chooses design or run time, then one NAME=VALUE a line;
// lines starting with "s " are --set values, the others --assign.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "button/model/torvel_button.h"
#include "button/qt/property_notes.h"
#include "button/tool/button_setup.h"
#include "platform/host/headless.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  vx::tool::ButtonOptions o;
  o.design = (data[0] & 1) != 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const bool set = line.rfind("s ", 0) == 0;
    if (set) line.erase(0, 2);
    const auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    const std::string name = line.substr(0, eq);
    // Pictures are files: reading the machine's files is no part of this.
    const vx::button::MemberInfo* m = vx::button::TorvelButton::FindMember(name);
    if (m != nullptr && m->type == vx::button::MemberType::Picture) continue;
    if (set && (vx::host::LowerKey(name) == "btnicon" || vx::host::LowerKey(name) == "micon")) {
      continue;
    }
    (set ? o.sets : o.assigns).emplace_back(name, line.substr(eq + 1));
    if (!set) {
      (void)vx::notes::ValueOfName(vx::notes::ValueNamesOf(name), line.substr(eq + 1));
    }
  }
  vx::host::HeadlessHost host;
  vx::tool::ConfigureHost(host, o);
  vx::button::TorvelButton button(host.site());
  host.Join(&button);
  try {
    vx::tool::RestoreButton(button, o);
    vx::tool::ApplyAssignments(button, host, o);
  } catch (const std::exception&) {
    // Refused, with a reason: what the tool prints.
  }
  return 0;
}
