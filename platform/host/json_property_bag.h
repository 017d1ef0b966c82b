#pragma once

#include <nlohmann/json.hpp>

#include "platform/host/services.h"

namespace vx::host {

// A stored property set kept as a flat JSON object: lower-case keys to
// integers, booleans, strings, a font as an object and a picture as the name
// of its file. Keys written earlier keep their place; new keys go last.
class JsonPropertyBag : public PropertyBag {
 public:
  using Json = nlohmann::ordered_json;

  JsonPropertyBag() = default;
  // Throws HostError unless `object` is a JSON object.
  explicit JsonPropertyBag(Json object);

  // A font object from the JSON form and back:
  // {"name", "size", "weight", "italic", "underline", "strikethrough", "charset"}.
  // Reading also takes "bold" when "weight" is absent. Throws HostError when
  // the object is not a font.
  static FontPtr FontFromJson(const Json& j);
  static Json FontToJson(const Font& f);

  PropertyValue ReadProperty(std::string_view key, const PropertyValue& default_value) override;
  // A picture is stored as its file name; one without a file cannot be stored
  // and throws HostError.
  void WriteProperty(std::string_view key, const PropertyValue& value) override;

  const Json& json() const { return object_; }

 private:
  Json::iterator Find(std::string_view key);

  Json object_ = Json::object();
};

}  // namespace vx::host
