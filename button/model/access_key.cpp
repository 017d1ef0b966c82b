#include <locale>
#include <stdexcept>

#include "button/model/torvel_button.h"
#include "platform/base/ascii.h"

namespace vx::button {

namespace {

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Characters (UTF-8 sequences) in s[0, end).
int CharsBefore(const std::string& s, std::size_t end) {
  int n = 0;
  for (std::size_t i = 0; i < end && i < s.size(); ++i) {
    if (!IsContinuation(static_cast<unsigned char>(s[i]))) ++n;
  }
  return n;
}

// The lower-case form of one UTF-8 character (as a key is registered).
// Case mapping comes from the C.UTF-8 locale, which every glibc system has;
// without it only ASCII letters are mapped.
std::string LowerCharacter(const std::string& ch) {
  const auto* t = reinterpret_cast<const unsigned char*>(ch.data());
  if (ch.size() == 1) {
    return std::string(1, ascii::ToLower(ch[0]));
  }
  static const std::ctype<wchar_t>* facet = []() -> const std::ctype<wchar_t>* {
    try {
      static const std::locale utf8("C.UTF-8");
      return &std::use_facet<std::ctype<wchar_t>>(utf8);
    } catch (const std::runtime_error&) {
      return nullptr;
    }
  }();
  if (facet == nullptr || ch.size() > 4) return ch;
  char32_t cp = t[0] & (0x7F >> ch.size());
  for (std::size_t i = 1; i < ch.size(); ++i) cp = (cp << 6) | (t[i] & 0x3F);
  const auto lower = static_cast<char32_t>(facet->tolower(static_cast<wchar_t>(cp)));
  std::string out;
  if (lower < 0x80) {
    out.push_back(static_cast<char>(lower));
  } else if (lower < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (lower >> 6)));
    out.push_back(static_cast<char>(0x80 | (lower & 0x3F)));
  } else if (lower < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (lower >> 12)));
    out.push_back(static_cast<char>(0x80 | ((lower >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (lower & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (lower >> 18)));
    out.push_back(static_cast<char>(0x80 | ((lower >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((lower >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (lower & 0x3F)));
  }
  return out;
}

}  // namespace

void TorvelButton::SetAccessKey() {
  const std::string& caption = s_.Caption;
  std::size_t start = 0;
  std::size_t marker = std::string::npos;
  int pairs = 0;
  for (;;) {
    const std::size_t i = caption.find('&', start);
    if (i == std::string::npos) break;
    if (caption.find("&&", start) != i) {
      marker = i;
      break;
    }
    ++pairs;
    start = i + 2;
  }
  s_.AccessKeyPos = 0;
  s_.UnderlineLength = 0;
  s_.UnderlineX = 0;
  s_.UnderlineY = 0;
  if (marker == std::string::npos) return;  // the registered key stays as it was

  // The key is the whole character after the marker, in lower case.
  std::string key;
  std::size_t k = marker + 1;
  if (k < caption.size()) {
    key.push_back(caption[k]);
    while (++k < caption.size() && IsContinuation(static_cast<unsigned char>(caption[k]))) {
      key.push_back(caption[k]);
    }
    key = LowerCharacter(key);
  }
  site_.access_keys->SetAccessKeys(key);
  // 1-based position in the caption with "&&" shown as "&": the marker's,
  // which becomes the key character's once the marker is dropped.
  const int pos = CharsBefore(caption, marker) + 1 - pairs;
  s_.AccessKeyPos = static_cast<std::int16_t>(pos > 32767 ? 0 : pos);
}

}  // namespace vx::button
