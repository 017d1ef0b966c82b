#pragma once

#include <string>
#include <string_view>

namespace vx::text {

// Decodes UTF-8 to code points. A byte that does not start a well-formed
// sequence (overlong forms, surrogates and values above U+10FFFF included)
// is read on its own as a Windows-1252 character, so text that arrives in
// the platform's ANSI code page still shows as intended.
std::u32string DecodeUtf8(std::string_view text);

// Whether the text is well-formed UTF-8 throughout (the same test DecodeUtf8
// applies to each sequence).
bool IsValidUtf8(std::string_view text);

// The one rule for texts that enter as bytes of unknown encoding: valid UTF-8
// is kept as it is; any byte that does not start a well-formed sequence is
// read as its Windows-1252 character, as DecodeUtf8 reads it for drawing. The
// result is always valid UTF-8 and draws exactly as the bytes did.
std::string ToValidUtf8(std::string_view text);

// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// The Windows-1252 character of one byte (undefined bytes map to U+FFFD).
char32_t Cp1252ToUnicode(unsigned char byte);

// The Windows-1252 byte for a code point, or -1 when it has none.
int UnicodeToCp1252(char32_t cp);

// Whether a code point changes the direction of the text around it (the
// embeddings, overrides and isolates, and the invisible direction marks), so
// that a name can be made to read as another one.
bool IsBidiControl(char32_t cp);

// Text from outside (an argument, a file or host name, a server's header) as
// it may be shown on a terminal: control characters (C0, DEL, C1), direction
// controls and bytes that are not UTF-8 are written as escapes ("\e", "\r",
// "\x07", "\u202e", "\xff"), so that none of them acts on the terminal or
// disguises what is shown. Tabs and everything else stay as they are.
std::string EscapeForDisplay(std::string_view text);

}  // namespace vx::text
