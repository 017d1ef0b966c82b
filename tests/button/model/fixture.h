#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "button/model/torvel_button.h"
#include "platform/host/headless.h"

namespace vx::button::testing {

// A button on a headless host, initialised as a newly placed one, with the
// host's records cleared.
struct Placed {
  explicit Placed(bool design,
                  std::optional<host::VersionTriple> version = host::VersionTriple{2, 5, 1}) {
    host.SetUserMode(!design);
    host.SetVersion(version);
    button = std::make_unique<TorvelButton>(host.site());
    host.Join(button.get());
    button->InitProperties();
    host.ClearRecords();
  }
  host::HeadlessHost host;
  std::unique_ptr<TorvelButton> button;
  TorvelButton& b() { return *button; }
  std::vector<std::string> keys() const { return host.changed_keys(); }
};

using Keys = std::vector<std::string>;

}  // namespace vx::button::testing
