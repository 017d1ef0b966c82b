#include "platform/host/json_property_bag.h"

#include <limits>

namespace vx::host {

JsonPropertyBag::JsonPropertyBag(Json object) : object_(std::move(object)) {
  if (!object_.is_object()) throw HostError("a stored property set must be a JSON object");
}

JsonPropertyBag::Json::iterator JsonPropertyBag::Find(std::string_view key) {
  const std::string lower = LowerKey(key);
  for (auto it = object_.begin(); it != object_.end(); ++it) {
    if (LowerKey(it.key()) == lower) return it;
  }
  return object_.end();
}

namespace {

bool BoolField(const JsonPropertyBag::Json& j, const char* name, bool fallback) {
  auto it = j.find(name);
  if (it == j.end()) return fallback;
  if (!it->is_boolean())
    throw HostError(std::string("font \"") + name + "\" must be true or false");
  return it->get<bool>();
}

std::int16_t Int16Field(const JsonPropertyBag::Json& j, const char* name, std::int16_t fallback) {
  auto it = j.find(name);
  if (it == j.end()) return fallback;
  if (!it->is_number_integer() ||
      it->get<std::int64_t>() < std::numeric_limits<std::int16_t>::min() ||
      it->get<std::int64_t>() > std::numeric_limits<std::int16_t>::max()) {
    throw HostError(std::string("font \"") + name + "\" must be a 16-bit integer");
  }
  return static_cast<std::int16_t>(it->get<std::int64_t>());
}

}  // namespace

FontPtr JsonPropertyBag::FontFromJson(const Json& j) {
  if (!j.is_object()) throw HostError("a font must be a JSON object");
  auto name = j.find("name");
  auto size = j.find("size");
  if (name == j.end() || !name->is_string()) throw HostError("a font needs a \"name\" text");
  if (size == j.end() || !size->is_number() || size->get<double>() <= 0) {
    throw HostError("a font needs a positive \"size\" in points");
  }
  Font::Attributes a;
  a.name = name->get<std::string>();
  a.size = size->get<double>();
  a.weight = Int16Field(j, "weight", BoolField(j, "bold", false) ? 700 : 400);
  a.italic = BoolField(j, "italic", false);
  a.underline = BoolField(j, "underline", false);
  a.strikethrough = BoolField(j, "strikethrough", false);
  a.charset = Int16Field(j, "charset", 0);
  return Font::Create(std::move(a));
}

JsonPropertyBag::Json JsonPropertyBag::FontToJson(const Font& f) {
  Json j = Json::object();
  j["name"] = f.name();
  j["size"] = f.size();
  j["weight"] = f.weight();
  j["italic"] = f.italic();
  j["underline"] = f.underline();
  j["strikethrough"] = f.strikethrough();
  j["charset"] = f.charset();
  return j;
}

PropertyValue JsonPropertyBag::ReadProperty(std::string_view key,
                                            const PropertyValue& default_value) {
  auto it = Find(key);
  if (it == object_.end()) return default_value;
  const Json& v = *it;
  switch (v.type()) {
    case Json::value_t::null:
      return std::monostate{};
    case Json::value_t::boolean:
      return v.get<bool>();
    case Json::value_t::number_integer:
      return v.get<std::int64_t>();
    case Json::value_t::number_unsigned: {
      const auto u = v.get<std::uint64_t>();
      if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return static_cast<std::int64_t>(u);
      }
      return static_cast<double>(u);
    }
    case Json::value_t::number_float:
      return v.get<double>();
    case Json::value_t::string:
      return v.get<std::string>();
    case Json::value_t::object:
      return FontFromJson(v);
    default:
      throw HostError("a stored value must be a number, a boolean, a text or a font object");
  }
}

void JsonPropertyBag::WriteProperty(std::string_view key, const PropertyValue& value) {
  Json j;
  if (std::holds_alternative<std::monostate>(value)) {
    // An empty value is stored as absent.
  } else if (auto* b = std::get_if<bool>(&value)) {
    j = *b;
  } else if (auto* i = std::get_if<std::int64_t>(&value)) {
    j = *i;
  } else if (auto* d = std::get_if<double>(&value)) {
    j = *d;
  } else if (auto* s = std::get_if<std::string>(&value)) {
    j = *s;
  } else if (auto* f = std::get_if<FontPtr>(&value)) {
    if (!*f) throw HostError("no font object to store");
    j = FontToJson(**f);
  } else if (auto* p = std::get_if<PicturePtr>(&value)) {
    if (*p) {
      if ((*p)->file().empty()) throw HostError("the picture has no file to refer to");
      j = (*p)->file();
    }
  }
  auto it = Find(key);
  if (j.is_null()) {
    if (it != object_.end()) object_.erase(it);
    return;
  }
  if (it != object_.end() && it.key() == LowerKey(key)) {
    *it = std::move(j);
    return;
  }
  if (it != object_.end()) object_.erase(it);
  object_[LowerKey(key)] = std::move(j);
}

}  // namespace vx::host
