#include "button/model/value_text.h"

#include <charconv>
#include <vector>

namespace vx::button {

namespace {

std::string_view Trim(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  return t;
}

}  // namespace

std::optional<Long> ParseLongText(std::string_view text) {
  const std::string_view t = Trim(text);
  const char* end = t.data() + t.size();
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    if (t.size() > 10) return std::nullopt;
    std::uint32_t u = 0;
    auto [p, ec] = std::from_chars(t.data() + 2, end, u, 16);
    if (ec != std::errc() || p != end) return std::nullopt;
    return static_cast<Long>(u);
  }
  Long n = 0;
  auto [p, ec] = std::from_chars(t.data(), end, n);
  if (t.empty() || ec != std::errc() || p != end) return std::nullopt;
  return n;
}

std::optional<Bool16> ParseBoolText(std::string_view text) {
  const std::string t = host::LowerKey(Trim(text));
  if (t == "true" || t == "-1") return kTrue;
  if (t == "false" || t == "0") return kFalse;
  return std::nullopt;
}

std::optional<host::FontAttributes> ParseFontText(std::string_view text) {
  std::vector<std::string_view> parts;
  while (true) {
    const auto comma = text.find(',');
    parts.push_back(Trim(text.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (parts.size() < 2 || parts[0].empty()) return std::nullopt;
  host::FontAttributes a;
  a.name = std::string(parts[0]);
  double size = 0;
  auto [p, ec] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), size);
  if (ec != std::errc() || p != parts[1].data() + parts[1].size() || !(size > 0)) {
    return std::nullopt;
  }
  a.size = size;
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const std::string flag = host::LowerKey(parts[i]);
    if (flag == "bold") {
      a.weight = 700;
    } else if (flag == "italic") {
      a.italic = true;
    } else if (flag == "underline") {
      a.underline = true;
    } else if (flag == "strike" || flag == "strikethrough") {
      a.strikethrough = true;
    } else {
      return std::nullopt;
    }
  }
  return a;
}

MemberValue ParseMemberText(MemberType type, std::string_view text, host::PictureLoader& pictures) {
  // Appended piece by piece: GCC 12 at -O3 misreads `"\"" + std::string(...)`
  // as an overlapping copy (-Wrestrict).
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.append(1, '"').append(text).append(1, '"');
  switch (type) {
    case MemberType::Long:
    case MemberType::Color:
      if (auto v = ParseLongText(text)) return *v;
      throw std::invalid_argument(quoted + " is not a 32-bit integer (decimal or 0x hex)");
    case MemberType::Boolean:
      if (auto v = ParseBoolText(text)) return *v;
      throw std::invalid_argument(quoted + " is not a Boolean (true, false, -1 or 0)");
    case MemberType::String:
      return std::string(text);
    case MemberType::Font:
      if (auto a = ParseFontText(text)) return host::Font::Create(*a);
      throw std::invalid_argument(
          quoted + " is not a font (Name,size[,bold][,italic][,underline][,strike])");
    case MemberType::Picture: {
      const std::string_view t = Trim(text);
      if (t.empty() || host::LowerKey(t) == "none") return host::PicturePtr{};
      return pictures.LoadPicture(std::string(t));
    }
    case MemberType::Method:
      break;
  }
  throw std::invalid_argument("a method takes no value");
}

}  // namespace vx::button
