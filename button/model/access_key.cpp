#include "button/model/torvel_button.h"

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

  // The key is the whole character after the marker, lower-cased if ASCII.
  std::string key;
  std::size_t k = marker + 1;
  if (k < caption.size()) {
    key.push_back(caption[k]);
    while (++k < caption.size() && IsContinuation(static_cast<unsigned char>(caption[k]))) {
      key.push_back(caption[k]);
    }
    if (key.size() == 1 && key[0] >= 'A' && key[0] <= 'Z') key[0] = static_cast<char>(key[0] + 32);
  }
  site_.access_keys->SetAccessKeys(key);
  // 1-based position in the caption with "&&" shown as "&": the marker's,
  // which becomes the key character's once the marker is dropped.
  const int pos = CharsBefore(caption, marker) + 1 - pairs;
  s_.AccessKeyPos = static_cast<std::int16_t>(pos > 32767 ? 0 : pos);
}

}  // namespace vx::button
