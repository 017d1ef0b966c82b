#pragma once

// ASCII case folding: only A-Z and a-z change, whatever the locale, and no
// byte of a UTF-8 sequence is ever touched.

#include <string>
#include <string_view>

namespace vx::ascii {

constexpr char ToLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char ToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ToLower(c);
  return out;
}

inline std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ToUpper(c);
  return out;
}

// Whether `s` begins with `prefix`, letters compared without regard to case.
constexpr bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ToLower(s[i]) != ToLower(prefix[i])) return false;
  }
  return true;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

// A header line's value without the blanks around it (and a line's CR).
constexpr std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace vx::ascii
