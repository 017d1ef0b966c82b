#pragma once

// The button's stored values as the widget's properties: which Qt property
// and which member of the button each stored key stands for, and a property
// set kept in memory, which carries pictures and fonts as they are.

#include <map>
#include <span>
#include <string>
#include <string_view>

#include "button/model/stored_properties.h"
#include "button/model/torvel_button.h"
#include "platform/host/services.h"

namespace vx::qt {

struct StoredProperty {
  std::string_view key;  // stored key, as the button announces it
  const char* property;  // the widget's Qt property
  const char* member;    // the button's public member
};

// The 26 stored keys in the order the button writes them.
std::span<const StoredProperty> StoredProperties();
// The entry of `key` (any case), or null.
const StoredProperty* FindStoredProperty(std::string_view key);

// A member's value as a stored value: Long as an integer, Bool16 as a truth
// value, the rest as it is.
host::PropertyValue ToPropertyValue(const button::MemberValue& value);

class MemoryPropertyBag : public host::PropertyBag {
 public:
  host::PropertyValue ReadProperty(std::string_view key,
                                   const host::PropertyValue& default_value) override;
  void WriteProperty(std::string_view key, const host::PropertyValue& value) override;

 private:
  std::map<std::string, host::PropertyValue, std::less<>> values_;
};

}  // namespace vx::qt
