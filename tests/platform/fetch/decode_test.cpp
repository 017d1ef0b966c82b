#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>

#include "platform/fetch/fetch.h"

namespace vx::net {
namespace {

using ::testing::EndsWith;

// Byte 0xE9 reads differently in each encoding the cases below declare.
const std::string kWin1252 = "\u00e9";   // é
const std::string kKoi8r = "\u0418";     // И
const std::string kWin1251 = "\u0439";   // й
const std::string kIso88595 = "\u0449";  // щ

TEST(FetchValidUtf8, AcceptsWellFormedAndRejectsTheRest) {
  EXPECT_TRUE(is_valid_utf8(""));
  EXPECT_TRUE(is_valid_utf8("plain ascii that is longer than eight bytes"));
  EXPECT_TRUE(is_valid_utf8("\u00e9\u20ac\U0001F600\U0010FFFF"));
  for (const char* bad : {"\x80", "\xC0\xAF", "\xC3", "\xE2\x82", "\xED\xA0\x80",
                          "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF", "abcdefgh\xC3("}) {
    EXPECT_FALSE(is_valid_utf8(bad)) << ::testing::PrintToString(std::string(bad));
  }
}

// ASCII is skipped many bytes at a time: a character anywhere in a long
// run of it, at either end of a block or across two, is still looked at.
TEST(FetchValidUtf8, EveryPlaceInALongAsciiRunIsLookedAt) {
  const std::string ascii(200, 'a');
  for (const std::string& valid : {std::string("\u00e9"), std::string("\U0001F600")}) {
    for (std::size_t at = 0; at + valid.size() <= ascii.size(); ++at) {
      std::string text = ascii;
      text.replace(at, valid.size(), valid);
      ASSERT_TRUE(is_valid_utf8(text)) << valid.size() << " at " << at;
      text[at + valid.size() - 1] = 'a';  // cut short
      ASSERT_FALSE(is_valid_utf8(text)) << valid.size() << " cut at " << at;
      ASSERT_EQ(decode_body(text, "text/html; charset=utf-8").find("\uFFFD"), at);
    }
  }
}

TEST(FetchDecodeBody, ByteOrderMarksWinAndAreDropped) {
  EXPECT_EQ(decode_body("\xEF\xBB\xBFhi \xC3\xA9", "text/html; charset=koi8-r"), "hi \u00e9");
  EXPECT_EQ(decode_body(std::string("\xFF\xFE<\0s\0\xE9\0", 8)), "<s\u00e9");
  EXPECT_EQ(decode_body(std::string("\xFE\xFF\0<\0s\x20\xAC", 8), "text/html; charset=utf-8"),
            "<s\u20ac");
}

TEST(FetchDecodeBody, Utf16EdgesBecomeReplacementCharacters) {
  using namespace std::string_literals;
  // A surrogate pair, a lone high surrogate, a lone low surrogate, an odd byte.
  EXPECT_EQ(decode_body("\xFF\xFE\x3D\xD8\x00\xDE"s), "\U0001F600");
  EXPECT_EQ(decode_body("\xFF\xFE\x3D\xD8<\0"s), "\uFFFD<");
  EXPECT_EQ(decode_body("\xFF\xFE\x00\xDE<\0"s), "\uFFFD<");
  EXPECT_EQ(decode_body("\xFF\xFE<\0s"s), "<\uFFFD");
  // A UTF-16 charset in the HTTP header is honoured (little-endian, as browsers read it).
  EXPECT_EQ(decode_body("<\0s\0"s, "text/html; charset=utf-16"), "<s");
}

TEST(FetchDecodeBody, Windows1252CoversAll256Bytes) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string out = decode_body(all);  // invalid UTF-8, nothing declared
  ASSERT_TRUE(is_valid_utf8(out));

  // Cross-check the defined bytes with the system's own code page tables.
  iconv_t cd = iconv_open("UTF-8", "CP1252");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string expected;
  for (int b = 0; b < 256; ++b) {
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      // Undefined in the code page: browsers pass them through as C1 controls.
      expected += static_cast<char>(0xC2);
      expected += static_cast<char>(b);
      continue;
    }
    char in = static_cast<char>(b);
    char buf[8];
    char* inp = &in;
    char* outp = buf;
    std::size_t in_left = 1, out_left = sizeof buf;
    ASSERT_NE(iconv(cd, &inp, &in_left, &outp, &out_left), static_cast<std::size_t>(-1)) << b;
    expected.append(buf, sizeof buf - out_left);
  }
  iconv_close(cd);
  EXPECT_EQ(out, expected);
}

TEST(FetchDecodeBody, LatinLabelsMeanWindows1252) {
  for (const char* label : {"iso-8859-1", "ISO-8859-1", "latin1", "us-ascii", "ascii", "l1"}) {
    EXPECT_EQ(decode_body("\x80\x93", std::string("text/html; charset=") + label), "\u20ac\u201c")
        << label;
  }
}

TEST(FetchDecodeBody, EveryFamilyOfBrowserLabelsDecodes) {
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"866", "\x80", "\u0410"},
      {"iso-8859-2", "\xA1", "\u0104"},
      {"latin3", "\xA1", "\u0126"},
      {"iso_8859-4:1988", "\xA1", "\u0104"},
      {"cyrillic", "\xB0", "\u0410"},
      {"asmo-708", "\xC7", "\u0627"},
      {"sun_eu_greek", "\xC1", "\u0391"},
      {"visual", "\xE0", "\u05D0"},
      {"logical", "\xE0", "\u05D0"},
      {"latin6", "\xA1", "\u0104"},
      {"iso885913", "\xA1", "\u201D"},
      {"iso8859-14", "\xA1", "\u1E02"},
      {"l9", "\xA4", "\u20AC"},
      {"iso-8859-16", "\xA1", "\u0104"},
      {"koi8", "\xC1", "\u0430"},
      {"koi8-ru", "\xA4", "\u0454"},
      {"macintosh", "\x80", "\u00C4"},
      {"iso885911", "\xA1", "\u0E01"},
      {"x-cp1250", "\x8A", "\u0160"},
      {"cp1251", "\xC0", "\u0410"},
      {"windows-1253", "\xC1", "\u0391"},
      {"iso_8859-9:1989", "\xD0", "\u011E"},
      {"cp1255", "\xE0", "\u05D0"},
      {"x-cp1256", "\xC7", "\u0627"},
      {"windows-1257", "\xC0", "\u0104"},
      {"cp1258", "\xC3", "\u0102"},
      {"x-mac-ukrainian", "\x80", "\u0410"},
      {"gbk", "\xB0\xA1", "\u554A"},
      {"gb18030", "\x81\x30\x81\x30", "\u0080"},
      {"big5-hkscs", "\xA4\x40", "\u4E00"},
      {"x-euc-jp", "\xA4\xA2", "\u3042"},
      {"csiso2022jp", "\x1B$B$\"\x1B(B", "\u3042"},
      {"windows-31j", "\x82\xA0", "\u3042"},
      {"windows-949", "\xB0\xA1", "\uAC00"},
  };
  for (const auto& [label, bytes, text] : cases) {
    EXPECT_EQ(decode_body("<p>" + bytes, std::string("text/html; charset=") + label), "<p>" + text)
        << label;
  }
}

TEST(FetchDecodeBody, HeaderCharsetIsParsedAndTakesPrecedenceOverMeta) {
  const std::string page = "<meta charset=koi8-r>\xE9";
  EXPECT_THAT(decode_body(page, "text/html; charset=windows-1251"), EndsWith(kWin1251));
  EXPECT_THAT(decode_body(page, "text/html;charset=\"Windows-1251\""), EndsWith(kWin1251));
  EXPECT_THAT(decode_body(page, "text/html; foo=bar; CHARSET = windows-1251 "), EndsWith(kWin1251));
  // An unknown or unsafe label falls through to the document's own declaration.
  EXPECT_THAT(decode_body(page, "text/html; charset=no-such-thing"), EndsWith(kKoi8r));
  EXPECT_THAT(decode_body(page, "text/html; charset=utf-8//IGNORE"), EndsWith(kKoi8r));
  EXPECT_THAT(decode_body(page, "text/html; charset=utf-7"), EndsWith(kKoi8r));
  // Names a converter knows but browsers do not: the page is not read in them.
  for (const char* label : {"ibm037", "cp500", "utf32le", "utf-32", "ucs-4", "wchar_t",
                            "iso-2022-kr", "utf-7-imap", "unicodelittle"}) {
    EXPECT_THAT(decode_body(page, std::string("text/html; charset=") + label), EndsWith(kKoi8r))
        << label;
  }
  EXPECT_THAT(decode_body(page, "text/html"), EndsWith(kKoi8r));
}

TEST(FetchDecodeBody, MetaPrescan) {
  const std::pair<std::string, std::string> cases[] = {
      {R"(<meta charset="windows-1251">)", kWin1251},
      {R"(<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=KOI8-R">)", kKoi8r},
      {R"(<meta content='text/html;charset=koi8-r' http-equiv='content-type'>)", kKoi8r},
      {R"(<meta http-equiv=content-type content="text/html; charset = 'windows-1251'">)", kWin1251},
      {"<meta charset=iso-8859-5>", kIso88595},
      {"<meta/charset=koi8-r>", kKoi8r},
      {"<!doctype html><html lang=ru><head><title>t</title><meta charset=koi8-r>", kKoi8r},
      {R"(<meta charset="koi8-r" charset="windows-1251">)", kKoi8r},
      {R"(<meta charset="bogus"><meta charset="koi8-r">)", kKoi8r},
      // Not declarations: no pragma, inside a comment, inside another tag's attribute.
      {R"(<meta content="text/html; charset=koi8-r">)", kWin1252},
      {R"(<meta http-equiv="refresh" content="0; charset=koi8-r">)", kWin1252},
      {"<!-- <meta charset=koi8-r> -->", kWin1252},
      {R"(<div title='<meta charset=koi8-r>'>)", kWin1252},
      {"<metal charset=koi8-r>", kWin1252},
      {std::string(1100, ' ') + "<meta charset=koi8-r>", kWin1252},
  };
  for (const auto& [head, expected] : cases) {
    EXPECT_THAT(decode_body(head + "\xE9"), EndsWith(expected)) << head;
  }
  // A tag cut off by the end of the 1024-byte window is not a declaration.
  const std::string cut = std::string(1010, ' ') + "<meta charset=koi8-r>\xE9";
  EXPECT_THAT(decode_body(cut), EndsWith(kWin1252));
}

TEST(FetchDecodeBody, MetaUtf16MeansUtf8) {
  EXPECT_EQ(decode_body("<meta charset=utf-16>\xC3\xA9"), "<meta charset=utf-16>\u00e9");
  EXPECT_EQ(decode_body("<meta charset=utf-16be>\xE9"), "<meta charset=utf-16be>\uFFFD");
}

TEST(FetchDecodeBody, UndeclaredBytesAreUtf8WhenValidElseWindows1252) {
  EXPECT_EQ(decode_body("<p>\u00e9\u20ac</p>"), "<p>\u00e9\u20ac</p>");
  EXPECT_EQ(decode_body("<p>\u00e9 \xE9</p>"), "<p>\u00c3\u00a9 \u00e9</p>");
}

TEST(FetchDecodeBody, InvalidBytesInDeclaredEncodingsBecomeReplacementCharacters) {
  const std::string utf8 = "text/html; charset=utf-8";
  EXPECT_EQ(decode_body("a\xC3(b", utf8), "a\uFFFD(b");
  EXPECT_EQ(decode_body("\xC0\xAF", utf8), "\uFFFD\uFFFD");
  EXPECT_EQ(decode_body("\xED\xA0\x80", utf8), "\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(decode_body("x\xE2\x82", utf8), "x\uFFFD");
  EXPECT_EQ(decode_body("\xF0\x9F\x98\x80\xF0\x9F", utf8), "\U0001F600\uFFFD");
  // Shift_JIS: a lead byte followed by a byte that cannot trail it.
  EXPECT_EQ(decode_body("<s\x82\xA0>\x82", "text/html; charset=shift_jis"), "<s\u3042>\uFFFD");
  EXPECT_EQ(decode_body("<s\x81\x0A>", "text/html; charset=shift_jis").find("<s"), 0u);
}

TEST(FetchDecodeBody, OutputIsAlwaysValidUtf8) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  const char* types[] = {"",
                         "text/html; charset=utf-8",
                         "text/html; charset=utf-16le",
                         "text/html; charset=utf-16be",
                         "text/html; charset=shift_jis",
                         "text/html; charset=euc-kr",
                         "text/html; charset=gb18030",
                         "text/html; charset=big5",
                         "text/html; charset=iso-2022-jp",
                         "text/html; charset=koi8-r"};
  for (int round = 0; round < 200; ++round) {
    std::string bytes(static_cast<std::size_t>(byte(rng)) * 4, '\0');
    for (char& c : bytes) c = static_cast<char>(byte(rng));
    for (const char* type : types) {
      const std::string out = decode_body(bytes, type);
      ASSERT_TRUE(is_valid_utf8(out)) << type << " round " << round;
      ASSERT_EQ(decode_body_owned(bytes, type), out) << type;
    }
  }
}

// Large texts are checked in two halves at once: a character across the middle
// and a broken one at the middle must count as in one pass.
TEST(FetchValidUtf8, LargeTextsSplitOnlyWhereACharacterStarts) {
  const std::size_t size = std::size_t{9} << 20;
  for (const std::string& middle :
       {std::string("\u00e9"), std::string("\u20ac"), std::string("\U0001F600")}) {
    for (std::size_t shift = 0; shift < 4; ++shift) {
      std::string text(size, 'a');
      text.replace(size / 2 - shift, middle.size(), middle);
      EXPECT_TRUE(is_valid_utf8(text)) << middle.size() << " " << shift;
      EXPECT_EQ(text_as_is(text), std::optional<std::string_view>(text));
      std::string cut = text;
      cut[size / 2 - shift + middle.size() - 1] = 'a';  // the last byte missing
      EXPECT_FALSE(is_valid_utf8(cut)) << middle.size() << " " << shift;
      EXPECT_FALSE(text_as_is(cut).has_value());
    }
  }
  std::string runs(size, 'a');
  runs.replace(size / 2 - 2, 4, "\x80\x80\x80\x80");  // continuation bytes alone
  EXPECT_FALSE(is_valid_utf8(runs));
  EXPECT_EQ(text_as_is("\xEF\xBB\xBF" + std::string(size, 'b'))->size(), size);
}

TEST(FetchDecodeBody, OwnedVariantMatchesAndDropsTheMark) {
  EXPECT_EQ(decode_body_owned("\xEF\xBB\xBF<script>"), "<script>");
  EXPECT_EQ(decode_body_owned("caf\xE9"), "caf\u00e9");
  const std::string big(1 << 20, 'a');
  EXPECT_EQ(decode_body_owned(big), big);
}

}  // namespace
}  // namespace vx::net
