// The page decoder: whatever the bytes and the declared type, the text is
// valid UTF-8, and the copying and the owning paths agree.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/fetch/fetch.h"
#include "platform/text/utf8.h"

namespace {

// Content types worth trying; the input's first byte picks one, or a type
// made of the following bytes up to a newline.
constexpr std::string_view kTypes[] = {
    "",
    "text/html",
    "text/html; charset=utf-8",
    "text/html; charset=windows-1252",
    "text/html; charset=iso-8859-1",
    "text/html; charset=utf-16le",
    "text/html; charset=utf-16be",
    "text/html; charset=shift_jis",
    "text/html; charset=euc-jp",
    "text/html; charset=gb18030",
    "text/html; charset=koi8-r",
    "text/html; charset=x-user-defined",
    "text/html; charset=replacement",
    "text/html; charset=\"bogus\"",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string type;
  const std::size_t pick = static_cast<unsigned char>(in[0]) % (std::size(kTypes) + 1);
  in.remove_prefix(1);
  if (pick < std::size(kTypes)) {
    type = kTypes[pick];
  } else {
    const std::size_t nl = in.find('\n');
    type = in.substr(0, nl);
    in.remove_prefix(nl == std::string_view::npos ? in.size() : nl + 1);
  }
  const std::string copied = vx::net::decode_body(in, type);
  if (!vx::text::IsValidUtf8(copied) || !vx::net::is_valid_utf8(copied)) std::abort();
  const std::string owned = vx::net::decode_body_owned(std::string(in), type);
  if (owned != copied) std::abort();
  return 0;
}
