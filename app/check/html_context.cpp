// A streaming classifier of page bytes. It runs the tokenizer states of the
// HTML standard that decide where a byte sits and keeps just enough of the
// tree builder (open elements, insertion mode) to name the element a byte
// belongs to. Nothing is decoded and no tree is built, so memory stays flat.
#include "app/check/html_context.h"

#include "app/check/markup_blocks.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vx::app::check {

namespace {

constexpr std::array<std::string_view, kContextCount> kNames = {
    "tag", "attribute-name", "attribute-value", "script", "style", "comment", "text", "other"};

// Open elements deeper than this are not kept, and names longer than this
// are cut: a hostile page cannot make the scanner's memory grow.
constexpr std::size_t kMaxDepth = 1024;
constexpr std::size_t kMaxName = 256;

// Character classes, looked up once a byte: the scanner's loops test every
// byte of a tag.
enum : std::uint8_t { kSpaceClass = 1, kEndsNameClass = 2 };
constexpr std::array<std::uint8_t, 256> kClasses = [] {
  std::array<std::uint8_t, 256> t{};
  for (const unsigned char c : {' ', '\n', '\t', '\r', '\f'}) t[c] = kSpaceClass | kEndsNameClass;
  t['/'] = t['>'] = kEndsNameClass;
  return t;
}();

bool IsSpace(char c) {
  return (kClasses[static_cast<unsigned char>(c)] & kSpaceClass) != 0;
}
bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}
// Ends a tag name or an end tag candidate in the raw text states.
bool EndsName(char c) {
  return (kClasses[static_cast<unsigned char>(c)] & kEndsNameClass) != 0;
}

// The first `c` in t[from, n), or n. Most runs the scanner jumps over are
// short (the white space between tags, an attribute's value): sixteen bytes
// at a time inline (SSE2, which every x86-64 has) beats a call into the C
// library, which takes over for a run that goes on.
std::size_t FindByte(const char* t, std::size_t from, std::size_t n, char c) {
  if (from >= n) return n;
#if defined(__SSE2__)
  const __m128i want = _mm_set1_epi8(c);
  for (const std::size_t stop = std::min(n, from + 64); from + 16 <= stop; from += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + from));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, want)));
    if (mask != 0) return from + static_cast<std::size_t>(__builtin_ctz(mask));
  }
  if (n - from < 16) {
    for (; from < n; ++from) {
      if (t[from] == c) return from;
    }
    return n;
  }
#endif
  const void* p = std::memchr(t + from, c, n - from);
  return p ? static_cast<std::size_t>(static_cast<const char*>(p) - t) : n;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (Lower(text[at + i]) != word[i]) return false;
  }
  return true;
}

// The elements the tree builder treats specially; everything else is kOther.
enum class T : std::uint8_t {
  kOther,
  kHtml,
  kHead,
  kBody,
  kBase,
  kBasefont,
  kBgsound,
  kLink,
  kMeta,
  kTitle,
  kNoscript,
  kNoframes,
  kStyle,
  kScript,
  kTemplate,
  kFrameset,
  kFrame,
  kAddress,
  kArticle,
  kAside,
  kBlockquote,
  kCenter,
  kDetails,
  kDialog,
  kDir,
  kDiv,
  kDl,
  kFieldset,
  kFigcaption,
  kFigure,
  kFooter,
  kHeader,
  kHgroup,
  kMain,
  kMenu,
  kNav,
  kOl,
  kP,
  kSection,
  kSummary,
  kUl,
  kH1,
  kH2,
  kH3,
  kH4,
  kH5,
  kH6,
  kPre,
  kListing,
  kForm,
  kLi,
  kDd,
  kDt,
  kPlaintext,
  kButton,
  kA,
  kB,
  kBig,
  kCode,
  kEm,
  kFont,
  kI,
  kS,
  kSmall,
  kStrike,
  kStrong,
  kTt,
  kU,
  kNobr,
  kApplet,
  kMarquee,
  kObject,
  kTable,
  kArea,
  kBr,
  kEmbed,
  kImg,
  kKeygen,
  kWbr,
  kInput,
  kParam,
  kSource,
  kTrack,
  kHr,
  kImage,
  kTextarea,
  kXmp,
  kIframe,
  kNoembed,
  kSelect,
  kOptgroup,
  kOption,
  kRb,
  kRtc,
  kRp,
  kRt,
  kRuby,
  kMath,
  kSvg,
  kCaption,
  kCol,
  kColgroup,
  kTbody,
  kTd,
  kTfoot,
  kTh,
  kThead,
  kTr,
  kSpan,
  kSub,
  kSup,
  kVar,
  kMi,
  kMo,
  kMn,
  kMs,
  kMtext,
  kAnnotationXml,
  kForeignObject,
  kDesc,
  kMglyph,
  kMalignmark,
  kMenuitem,
};
constexpr std::size_t kTagIds = static_cast<std::size_t>(T::kMenuitem) + 1;
constexpr std::size_t Index(T t) {
  return static_cast<std::size_t>(t);
}

// The elements the tree builder knows by name.
constexpr std::pair<std::string_view, T> kKnownNames[] = {
    {"html", T::kHtml},
    {"head", T::kHead},
    {"body", T::kBody},
    {"base", T::kBase},
    {"basefont", T::kBasefont},
    {"bgsound", T::kBgsound},
    {"link", T::kLink},
    {"meta", T::kMeta},
    {"title", T::kTitle},
    {"noscript", T::kNoscript},
    {"noframes", T::kNoframes},
    {"style", T::kStyle},
    {"script", T::kScript},
    {"template", T::kTemplate},
    {"frameset", T::kFrameset},
    {"frame", T::kFrame},
    {"address", T::kAddress},
    {"article", T::kArticle},
    {"aside", T::kAside},
    {"blockquote", T::kBlockquote},
    {"center", T::kCenter},
    {"details", T::kDetails},
    {"dialog", T::kDialog},
    {"dir", T::kDir},
    {"div", T::kDiv},
    {"dl", T::kDl},
    {"fieldset", T::kFieldset},
    {"figcaption", T::kFigcaption},
    {"figure", T::kFigure},
    {"footer", T::kFooter},
    {"header", T::kHeader},
    {"hgroup", T::kHgroup},
    {"main", T::kMain},
    {"menu", T::kMenu},
    {"nav", T::kNav},
    {"ol", T::kOl},
    {"p", T::kP},
    {"section", T::kSection},
    {"summary", T::kSummary},
    {"ul", T::kUl},
    {"h1", T::kH1},
    {"h2", T::kH2},
    {"h3", T::kH3},
    {"h4", T::kH4},
    {"h5", T::kH5},
    {"h6", T::kH6},
    {"pre", T::kPre},
    {"listing", T::kListing},
    {"form", T::kForm},
    {"li", T::kLi},
    {"dd", T::kDd},
    {"dt", T::kDt},
    {"plaintext", T::kPlaintext},
    {"button", T::kButton},
    {"a", T::kA},
    {"b", T::kB},
    {"big", T::kBig},
    {"code", T::kCode},
    {"em", T::kEm},
    {"font", T::kFont},
    {"i", T::kI},
    {"s", T::kS},
    {"small", T::kSmall},
    {"strike", T::kStrike},
    {"strong", T::kStrong},
    {"tt", T::kTt},
    {"u", T::kU},
    {"nobr", T::kNobr},
    {"applet", T::kApplet},
    {"marquee", T::kMarquee},
    {"object", T::kObject},
    {"table", T::kTable},
    {"area", T::kArea},
    {"br", T::kBr},
    {"embed", T::kEmbed},
    {"img", T::kImg},
    {"keygen", T::kKeygen},
    {"wbr", T::kWbr},
    {"input", T::kInput},
    {"param", T::kParam},
    {"source", T::kSource},
    {"track", T::kTrack},
    {"hr", T::kHr},
    {"image", T::kImage},
    {"textarea", T::kTextarea},
    {"xmp", T::kXmp},
    {"iframe", T::kIframe},
    {"noembed", T::kNoembed},
    {"select", T::kSelect},
    {"optgroup", T::kOptgroup},
    {"option", T::kOption},
    {"rb", T::kRb},
    {"rtc", T::kRtc},
    {"rp", T::kRp},
    {"rt", T::kRt},
    {"ruby", T::kRuby},
    {"math", T::kMath},
    {"svg", T::kSvg},
    {"caption", T::kCaption},
    {"col", T::kCol},
    {"colgroup", T::kColgroup},
    {"tbody", T::kTbody},
    {"td", T::kTd},
    {"tfoot", T::kTfoot},
    {"th", T::kTh},
    {"thead", T::kThead},
    {"tr", T::kTr},
    {"span", T::kSpan},
    {"sub", T::kSub},
    {"sup", T::kSup},
    {"var", T::kVar},
    {"mi", T::kMi},
    {"mo", T::kMo},
    {"mn", T::kMn},
    {"ms", T::kMs},
    {"mtext", T::kMtext},
    {"annotation-xml", T::kAnnotationXml},
    {"foreignobject", T::kForeignObject},
    {"desc", T::kDesc},
    {"mglyph", T::kMglyph},
    {"malignmark", T::kMalignmark},
    {"menuitem", T::kMenuitem},
};
constexpr std::size_t kLongestKnown = 14;  // "annotation-xml"

// Names of the elements the tree builder knows, looked up once a tag in an
// open-addressed table keyed by the name's first 16 bytes (zero-padded): a
// tag costs one multiply and a compare or two. Built at compile time, so a
// lookup waits on no guard of a static and inlines into the name reader.
struct NameTable {
  static constexpr std::size_t kSlots = 512;
  // Sixteen bytes a slot, so that the table stays in the nearest cache: the
  // name's first eight bytes, then its next six (no known name is longer
  // than fourteen), its length and its id.
  struct Slot {
    std::uint64_t a = 0;
    std::uint64_t rest = 0;  // 0: empty
  };
  std::array<Slot, kSlots> slots{};
  static constexpr std::size_t Hash(std::uint64_t a, std::uint64_t b) {
    return static_cast<std::size_t>(((a ^ (b << 7)) * 0x9E3779B97F4A7C15ull) >> 55) & (kSlots - 1);
  }
  static constexpr std::uint64_t Rest(std::uint64_t b, std::size_t size) {
    return b | (std::uint64_t{size} << 48);
  }
  constexpr void Add(std::string_view n, T id) {
    std::uint64_t a = 0, b = 0;
    for (std::size_t i = 0; i < n.size(); ++i) {
      const std::uint64_t c = static_cast<unsigned char>(n[i]);
      if (i < 8) {
        a |= c << (8 * i);
      } else {
        b |= c << (8 * (i - 8));
      }
    }
    std::size_t i = Hash(a, b);
    while (slots[i].rest != 0) i = (i + 1) & (kSlots - 1);
    slots[i] = Slot{a, Rest(b, n.size()) | (std::uint64_t{static_cast<std::uint8_t>(id)} << 56)};
  }
  // `a`, `b`: the name's first 16 bytes, zeros after it, little-endian.
  [[gnu::always_inline]] T Find(std::uint64_t a, std::uint64_t b, std::size_t size) const {
    if (size > kLongestKnown) return T::kOther;
    const std::uint64_t rest = Rest(b, size);
    for (std::size_t i = Hash(a, b); slots[i].rest != 0; i = (i + 1) & (kSlots - 1)) {
      if (slots[i].a == a && (slots[i].rest & ((std::uint64_t{1} << 56) - 1)) == rest)
        return static_cast<T>(slots[i].rest >> 56);
    }
    return T::kOther;
  }
};
static_assert(kLongestKnown <= 14 && kTagIds <= 256,
              "a name table slot holds 14 bytes and 256 ids");

constexpr NameTable kNameTable = [] {
  NameTable t;
  for (const auto& [n, id] : kKnownNames) t.Add(n, id);
  return t;
}();

[[gnu::always_inline]] inline T Lookup(std::uint64_t a, std::uint64_t b, std::size_t size) {
  return kNameTable.Find(a, b, size);
}

// The name of a known element.
constexpr std::array<std::string_view, kTagIds> kNameOf = [] {
  std::array<std::string_view, kTagIds> names{};
  for (const auto& [n, id] : kKnownNames) names[Index(id)] = n;
  return names;
}();

template <typename... Ts>
bool In(T t, Ts... ts) {
  return ((t == ts) || ...);
}

// What the tree builder asks of an element, one bit each, looked up once.
enum : std::uint16_t {
  kHeading = 1,
  kClosesP = 2,
  kVoid = 4,
  kSpecialHtml = 8,
  kImpliedEnd = 16,
  kTableSection = 32,
  kTableMode = 64,
  kBreaksOutOfForeign = 128,
  kPlainStart = 256,
  kPlainEnd = 512,
  kSkimSwitches = 1024,
};
// Start tags that change what the tokenizer alone reads next, or that it
// cannot follow on its own.
constexpr std::array kSkimSwitchIds = {
    T::kTitle,    T::kTextarea, T::kStyle,     T::kXmp, T::kIframe, T::kNoembed, T::kNoframes,
    T::kNoscript, T::kScript,   T::kPlaintext, T::kSvg, T::kMath,   T::kSelect};
// Their first letters, one bit each: a start tag beginning otherwise switches
// nothing, whatever its name.
constexpr std::uint32_t kSkimSwitchFirsts = [] {
  std::uint32_t bits = 0;
  for (const T t : kSkimSwitchIds) bits |= 1u << (kNameOf[Index(t)][0] - 'a');
  return bits;
}();
constexpr std::array<std::string_view, kSkimSwitchIds.size()> kSkimSwitchNames = [] {
  std::array<std::string_view, kSkimSwitchIds.size()> names{};
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = kNameOf[Index(kSkimSwitchIds[i])];
  return names;
}();
// Markup without those read a block at a time.
constexpr MarkupBlocks kSkimBlocks{kSkimSwitchNames};
constexpr std::array<std::uint16_t, kTagIds> kFlags = [] {
  std::array<std::uint16_t, kTagIds> f{};
  auto set = [&f](std::uint16_t bit, std::initializer_list<T> ids) {
    for (const T t : ids) f[Index(t)] |= bit;
  };
  set(kHeading, {T::kH1, T::kH2, T::kH3, T::kH4, T::kH5, T::kH6});
  set(kClosesP, {T::kAddress, T::kArticle, T::kAside,   T::kBlockquote, T::kCenter,     T::kDetails,
                 T::kDir,     T::kDiv,     T::kDl,      T::kFieldset,   T::kFigcaption, T::kFigure,
                 T::kFooter,  T::kHeader,  T::kHgroup,  T::kMain,       T::kMenu,       T::kNav,
                 T::kOl,      T::kP,       T::kSection, T::kSummary,    T::kUl});
  set(kVoid, {T::kArea,    T::kBr,     T::kEmbed, T::kImg, T::kKeygen, T::kWbr,     T::kInput,
              T::kParam,   T::kSource, T::kTrack, T::kHr,  T::kImage,  T::kBase,    T::kBasefont,
              T::kBgsound, T::kLink,   T::kMeta,  T::kCol, T::kFrame,  T::kMenuitem});
  set(kSpecialHtml,
      {T::kAddress,    T::kApplet,   T::kArea,       T::kArticle,  T::kAside,  T::kBase,
       T::kBasefont,   T::kBgsound,  T::kBlockquote, T::kBody,     T::kBr,     T::kButton,
       T::kCaption,    T::kCenter,   T::kCol,        T::kColgroup, T::kDd,     T::kDetails,
       T::kDir,        T::kDiv,      T::kDl,         T::kDt,       T::kEmbed,  T::kFieldset,
       T::kFigcaption, T::kFigure,   T::kFooter,     T::kForm,     T::kFrame,  T::kFrameset,
       T::kH1,         T::kH2,       T::kH3,         T::kH4,       T::kH5,     T::kH6,
       T::kHead,       T::kHeader,   T::kHgroup,     T::kHr,       T::kHtml,   T::kIframe,
       T::kImg,        T::kInput,    T::kKeygen,     T::kLi,       T::kLink,   T::kListing,
       T::kMarquee,    T::kMenuitem, T::kMenu,       T::kMeta,     T::kNav,    T::kNoembed,
       T::kNoframes,   T::kNoscript, T::kObject,     T::kOl,       T::kP,      T::kParam,
       T::kPlaintext,  T::kPre,      T::kScript,     T::kSection,  T::kSelect, T::kSource,
       T::kStyle,      T::kSummary,  T::kTable,      T::kTbody,    T::kTd,     T::kTemplate,
       T::kTextarea,   T::kTfoot,    T::kTh,         T::kThead,    T::kTitle,  T::kTr,
       T::kTrack,      T::kUl,       T::kWbr,        T::kXmp});
  set(kImpliedEnd,
      {T::kDd, T::kDt, T::kLi, T::kOptgroup, T::kOption, T::kP, T::kRb, T::kRp, T::kRt, T::kRtc});
  set(kTableSection, {T::kTbody, T::kThead, T::kTfoot});
  set(kTableMode, {T::kTable, T::kTbody, T::kThead, T::kTfoot, T::kTr});
  set(kBreaksOutOfForeign,
      {T::kB,      T::kBig,    T::kBlockquote, T::kBody,    T::kBr,    T::kCenter, T::kCode,
       T::kDd,     T::kDiv,    T::kDl,         T::kDt,      T::kEm,    T::kEmbed,  T::kH1,
       T::kH2,     T::kH3,     T::kH4,         T::kH5,      T::kH6,    T::kHead,   T::kHr,
       T::kI,      T::kImg,    T::kLi,         T::kListing, T::kMenu,  T::kMeta,   T::kNobr,
       T::kOl,     T::kP,      T::kPre,        T::kRuby,    T::kS,     T::kSmall,  T::kSpan,
       T::kStrong, T::kStrike, T::kSub,        T::kSup,     T::kTable, T::kTt,     T::kU,
       T::kUl,     T::kVar});
  for (const T t : kSkimSwitchIds) f[Index(t)] |= kSkimSwitches;
  // Start tags the body's rules simply insert (closing an open p first
  // where they do), and end tags that simply close the innermost element
  // when it is theirs: every other one has a rule of its own.
  for (std::size_t i = 0; i < kTagIds; ++i) f[i] |= kPlainStart | kPlainEnd;
  auto clear = [&f](std::uint16_t bit, std::initializer_list<T> ids) {
    for (const T t : ids) f[Index(t)] &= static_cast<std::uint16_t>(~bit);
  };
  clear(kPlainStart,
        {T::kHtml,    T::kBody,  T::kFrameset,  T::kHead,   T::kCaption, T::kCol,    T::kColgroup,
         T::kFrame,   T::kTbody, T::kTd,        T::kTfoot,  T::kTh,      T::kThead,  T::kTr,
         T::kH1,      T::kH2,    T::kH3,        T::kH4,     T::kH5,      T::kH6,     T::kPre,
         T::kListing, T::kXmp,   T::kPlaintext, T::kHr,     T::kForm,    T::kLi,     T::kDd,
         T::kDt,      T::kA,     T::kNobr,      T::kButton, T::kTable,   T::kOption, T::kOptgroup,
         T::kRb,      T::kRtc,   T::kRp,        T::kRt,     T::kMath,    T::kSvg});
  clear(kPlainEnd, {T::kTemplate, T::kBody, T::kHtml, T::kHead, T::kFrameset, T::kForm, T::kBr,
                    T::kSelect, T::kOption, T::kOptgroup});
  return f;
}();

bool IsHeading(T t) {
  return (kFlags[Index(t)] & kHeading) != 0;
}

// Start tags that close an open p first.
bool ClosesP(T t) {
  return (kFlags[Index(t)] & kClosesP) != 0;
}

bool SwitchesSkim(T t) {
  return (kFlags[Index(t)] & kSkimSwitches) != 0;
}

#if defined(__SSE2__) && defined(__x86_64__)
// The bytes up to ' ' (white space, and control bytes that are no delimiter,
// which the caller's test of the first one sends the long way), '/' and
// '>': where a tag name may end, one bit each.
unsigned NameEndCandidates(__m128i bytes) {
  auto is = [&bytes](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
  const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(' ')), bytes);
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_or_si128(low, _mm_or_si128(is('/'), is('>')))));
}
#endif

bool IsVoid(T t) {
  return (kFlags[Index(t)] & kVoid) != 0;
}

bool IsSpecialHtml(T t) {
  return (kFlags[Index(t)] & kSpecialHtml) != 0;
}

// End tags a later tag implies.
bool IsImpliedEnd(T t) {
  return (kFlags[Index(t)] & kImpliedEnd) != 0;
}

bool IsTableSection(T t) {
  return (kFlags[Index(t)] & kTableSection) != 0;
}
// Where the table insertion modes, not the body's, read a start tag.
bool IsTableMode(T t) {
  return (kFlags[Index(t)] & kTableMode) != 0;
}

// Start tags a foreign element does not hold: they end the foreign content.
bool BreaksOutOfForeign(T t) {
  return (kFlags[Index(t)] & kBreaksOutOfForeign) != 0;
}

enum class Scope { kDefault, kListItem, kButton, kTable };

// The tokenizer states that own a byte. The attribute states serve end tags
// too, whose attributes are dropped and so read as tag.
enum class St : std::uint8_t {
  kData,
  kRcdata,
  kRawtext,
  kScript,
  kPlaintext,
  kBeforeAttrName,
  kAfterAttrName,
  kBeforeAttrValue,
  kSelfClosing,
};

enum class Mode : std::uint8_t {
  kInitial,
  kBeforeHead,
  kInHead,
  kAfterHead,
  kInBody,
  kAfterBody,
  kAfterAfterBody
};

struct Node {
  T id = T::kOther;
  bool foreign = false;
  bool math = false;  // a foreign element of MathML, not svg
  // Opened while a table's insertion mode was in force: placed before the
  // table, and leaves that mode in force.
  bool fostered = false;
  // Its start tag came right after a dropped "</>", which gumbo counts as
  // part of it: no end tag names it in foreign content.
  bool unnamed = false;
  std::string other;  // the name of an element the tree builder does not know
  // The element below it was taken out of the open elements but stays its
  // parent (an a that a table hid from scope): that parent's name. Seldom set,
  // so held apart: every tag makes and drops a node.
  std::unique_ptr<std::string> parent;

  Node() = default;
  Node(Node&&) noexcept = default;
  Node& operator=(Node&&) noexcept = default;
  // Copies of a scanner's state (ContextScanner::Ahead) copy its nodes.
  Node(const Node& o)
      : id(o.id),
        foreign(o.foreign),
        math(o.math),
        fostered(o.fostered),
        unnamed(o.unnamed),
        other(o.other),
        parent(o.parent ? std::make_unique<std::string>(*o.parent) : nullptr) {}
  Node& operator=(const Node& o) {
    if (this != &o) *this = Node(o);
    return *this;
  }
  bool operator==(const Node& o) const {
    return id == o.id && foreign == o.foreign && math == o.math && fostered == o.fostered &&
           unnamed == o.unnamed && other == o.other && !parent == !o.parent &&
           (!parent || *parent == *o.parent);
  }

  std::string_view Name() const {
    return id == T::kOther ? std::string_view(other) : kNameOf[Index(id)];
  }
};

// Foreign elements the scopes stop at and the body's end tags do not cross.
bool IsIntegrationPoint(const Node& n) {
  return n.math ? In(n.id, T::kMi, T::kMo, T::kMn, T::kMs, T::kMtext, T::kAnnotationXml)
                : In(n.id, T::kForeignObject, T::kDesc, T::kTitle);
}
// Foreign elements that stop the search for an open element to close, as
// gumbo lists them (svg title not among them).
bool IsForeignSpecial(const Node& n) {
  return n.math ? In(n.id, T::kMi, T::kMo, T::kMn, T::kMs, T::kMtext, T::kAnnotationXml)
                : In(n.id, T::kForeignObject, T::kDesc);
}
// Foreign elements inside which text and start tags are read as HTML again.
bool ReadsHtml(const Node& n) {
  return n.math ? In(n.id, T::kMi, T::kMo, T::kMn, T::kMs, T::kMtext)
                : In(n.id, T::kForeignObject, T::kDesc, T::kTitle);
}

}  // namespace

std::string_view ContextName(Context context) {
  return kNames[static_cast<std::size_t>(context)];
}

std::optional<Context> ContextFromName(std::string_view name) {
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == name) return static_cast<Context>(i);
  }
  return std::nullopt;
}

std::span<const std::string_view> SkimSwitchNames() {
  return kSkimSwitchNames;
}
const MarkupBlocks& SkimBlocks() {
  return kSkimBlocks;
}

struct ContextScanner::Impl {
  explicit Impl(std::string_view t, bool skim_only = false) : text(t), skim(skim_only) {
    if (!skim) stack.reserve(64);
  }
  Impl(const Impl&) = default;
  Impl& operator=(const Impl&) = default;

  // Whether, both at a segment's end at the same place, this scanner and
  // `o` classify every later byte alike: all that a later step reads is
  // equal. What only the segment just classified uses (its element, the
  // tag's pieces and name) is rewritten by the next step; the count of
  // tags closed serves TagReader alone; the name of the last raw text
  // element, only its own raw text.
  bool SameFuture(const Impl& o) const {
    const bool raw = state == St::kRcdata || state == St::kRawtext || state == St::kScript;
    return pos == o.pos && seg_end == pos && o.seg_end == o.pos && state == o.state &&
           mode == o.mode && quirks == o.quirks && doctype_read == o.doctype_read &&
           form_open == o.form_open && (!raw || raw_name == o.raw_name) &&
           closing_raw == o.closing_raw && overflow == o.overflow && structural == o.structural &&
           templates == o.templates && p_open == o.p_open && a_open == o.a_open &&
           (data_text_end == pos) == (o.data_text_end == o.pos) && stack == o.stack;
  }
  // Takes the state of `o`, a copy made at a segment's end.
  void TakeState(const Impl& o) {
    *this = o;
    seg_begin = seg_end = pos;
    seg_element = {};
    seg_in_tag = false;
  }

  std::string_view text;
  // Reading for the places of tags alone: no tree is built, so the element
  // of what is not a tag stays unknown. Which tokenizer state follows a tag
  // is then its name's alone, save in foreign content: an svg's own
  // elements are followed by name (`skim_foreign`) while nothing in them
  // hands a tag back to the HTML rules. Past anything else the tree decides
  // (math, select, the rest of svg content), `skim_lost`.
  bool skim = false;
  bool skim_lost = false;
  // Skimming reads ordinary markup a block at a time (MarkupBlocks) from
  // `blocks_from` on.
  bool blocks = MarkupBlocks::Available();
  std::size_t blocks_from = 0;
  int blocks_missed = 0;
  std::vector<std::string> skim_foreign;  // the open svg and its open elements
  std::size_t skim_starts = 0;            // start tags read
  std::size_t pos = 0;                    // the first byte not yet classified
  St state = St::kData;
  Mode mode = Mode::kInitial;
  bool quirks = true;
  bool doctype_read = false;
  bool form_open = false;

  // The segment last classified: [seg_begin, seg_end) all sit in one place.
  std::size_t seg_begin = 0, seg_end = 0;
  Context seg_context = Context::Text;
  // Into tag_name or the open elements, which no later change touches
  // before the next segment replaces it.
  std::string_view seg_element;
  // The segment is a whole tag, [tag_begin, its end): TagPartAt tells its
  // pieces (the name, attribute names and values, the rest) one after
  // another, from part_pos in part_state.
  bool seg_in_tag = false;
  St part_state = St::kBeforeAttrName;
  std::size_t part_pos = 0, part_begin = 0, part_end = 0;
  Context part_context = Context::Tag;
  std::size_t tags_closed = 0;  // tags read through their '>'
  // Where TagReader wants the attributes of each tag read, or null.
  Tag* collect = nullptr;
  bool collect_duplicate = false;  // the attribute being read repeats an earlier name
  void Collect(std::size_t from, std::size_t to, Context context);

  // The tag being read: its name in lower case, cut at kMaxName.
  char tag_name[kMaxName] = {};
  std::size_t tag_name_size = 0;
  std::string_view TagName() const { return {tag_name, tag_name_size}; }
  bool NamedLikeTag(const Node& n) const {
    return n.id == tag_id && (tag_id != T::kOther || n.other == TagName());
  }
  T tag_id = T::kOther;
  bool end_tag = false;
  bool self_closing = false;
  std::size_t tag_begin = 0, tag_name_end = 0;
  bool bare_end_tag = false;     // "</name>" with nothing more
  bool font_breaks_out = false;  // a font tag with color, face or size

  // The element whose raw text (RCDATA, RAWTEXT, script) is being read.
  std::string raw_name;

  std::vector<Node> stack;
  std::size_t overflow = 0;   // pushes beyond kMaxDepth not kept
  bool structural = false;    // a table's own rules open what is opened now
  std::size_t templates = 0;  // templates open: their content reads as a body's
  std::size_t p_open = 0;     // HTML p elements open
  std::size_t a_open = 0;     // HTML a elements open

  // Whether a "</>" (which the tokenizer drops) starts at `at`; false for
  // an `at` that wrapped round below 0.
  bool DroppedEndAt(std::size_t at) const {
    return at < text.size() && text.size() - at >= 3 && text[at] == '<' && text[at + 1] == '/' &&
           text[at + 2] == '>';
  }
  // Where the character data last read in the data state ended: a "</>"
  // is dropped only there, never when it ends a tag ("<t</>"), a comment or
  // a declaration.
  std::size_t data_text_end = std::string_view::npos;
  // Whether a dropped "</>" ends right at `at`, as the tag starting there
  // may ask.
  bool DroppedBefore(std::size_t at) const {
    return at >= 3 && data_text_end == at && DroppedEndAt(at - 3);
  }

  // ---- segments ----
  void Emit(std::size_t end, Context context, std::string_view element) {
    seg_in_tag = false;
    seg_begin = pos;
    seg_end = end;
    seg_context = context;
    seg_element = element;
    pos = end;
  }
  std::string_view Current() const {
    return stack.empty() ? std::string_view() : stack.back().Name();
  }
  // Character data takes its context from the element that holds it.
  static Context ContentContext(std::string_view element) {
    // By length first: most text sits in neither.
    if (element.size() == 6 && std::memcmp(element.data(), "script", 6) == 0)
      return Context::Script;
    if (element.size() == 5 && std::memcmp(element.data(), "style", 5) == 0) return Context::Style;
    return Context::Text;
  }
  void EmitContent(std::size_t end, std::string_view element) {
    Emit(end, ContentContext(element), element);
  }
  void EmitTagPart(std::size_t end, Context context) {
    Emit(end, end_tag ? Context::Tag : context, TagName());
  }

  // ---- open elements ----
  const Node* Top() const { return stack.empty() ? nullptr : &stack.back(); }
  bool TopIs(T id) const {
    return !stack.empty() && !stack.back().foreign && stack.back().id == id;
  }
  void Push(std::string_view name, T id, bool foreign, bool math = false) {
    if (stack.size() >= kMaxDepth) {
      ++overflow;
      return;
    }
    const bool fostered = !structural && InTableMode();
    if (!foreign) Count(id, 1);
    Node& n = stack.emplace_back();
    n.id = id;
    n.foreign = foreign;
    n.math = math;
    n.fostered = fostered;
    if (id == T::kOther) n.other.assign(name);
  }
  void Pop() {
    if (overflow > 0) {
      --overflow;
    } else if (!stack.empty()) {
      if (!stack.back().foreign) Count(stack.back().id, -1);
      stack.pop_back();
    }
  }
  // Takes out an open element below the top (misnested markup).
  void EraseAt(std::size_t i) {
    if (!stack[i].foreign) Count(stack[i].id, -1);
    stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(i));
  }
  // Open HTML templates, p and a elements, kept count of so that the common
  // tags need not walk the open elements to learn there are none.
  void Count(T id, int by) {
    if (id == T::kTemplate) templates += static_cast<std::size_t>(by);
    if (id == T::kP) p_open += static_cast<std::size_t>(by);
    if (id == T::kA) a_open += static_cast<std::size_t>(by);
  }
  void PopUntil(T id) {
    while (!stack.empty()) {
      const bool hit = !stack.back().foreign && stack.back().id == id;
      Pop();
      if (hit) return;
    }
  }
  void PopUntilHeading() {
    while (!stack.empty()) {
      const bool hit = !stack.back().foreign && IsHeading(stack.back().id);
      Pop();
      if (hit) return;
    }
  }
  void PopUntilCell() {
    while (!stack.empty()) {
      const bool hit = !stack.back().foreign && In(stack.back().id, T::kTd, T::kTh);
      Pop();
      if (hit) return;
    }
  }
  void GenerateImpliedEndTags(T except = T::kOther) {
    while (!stack.empty() && !stack.back().foreign && IsImpliedEnd(stack.back().id) &&
           stack.back().id != except) {
      Pop();
    }
  }
  static bool Boundary(const Node& n, Scope scope) {
    if (n.foreign) return scope != Scope::kTable && IsIntegrationPoint(n);
    if (In(n.id, T::kHtml, T::kTable, T::kTemplate)) return true;
    if (scope == Scope::kTable) return false;
    if (In(n.id, T::kApplet, T::kCaption, T::kTd, T::kTh, T::kMarquee, T::kObject)) return true;
    if (scope == Scope::kListItem) return In(n.id, T::kOl, T::kUl);
    if (scope == Scope::kButton) return n.id == T::kButton;
    return false;
  }
  template <typename Match>
  bool InScopeIf(Match match, Scope scope) const {
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
      if (!it->foreign && match(it->id)) return true;
      if (Boundary(*it, scope)) return false;
    }
    return false;
  }
  bool InScope(T id, Scope scope = Scope::kDefault) const {
    return InScopeIf([id](T t) { return t == id; }, scope);
  }
  bool PInButtonScope() const { return p_open > 0 && InScope(T::kP, Scope::kButton); }
  void CloseP() {
    if (PInButtonScope()) PopUntil(T::kP);
  }
  bool InSelect() const {
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
      if (it->foreign) return false;
      if (it->id == T::kSelect) return true;
      if (!In(it->id, T::kOption, T::kOptgroup)) return false;
    }
    return false;
  }
  // Whether a table's insertion mode is in force: the innermost element
  // not opened under it is part of a table's structure.
  bool InTableMode() const {
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
      if (!it->fostered) return !it->foreign && IsTableMode(it->id);
    }
    return false;
  }
  void PopFostered() {
    while (!stack.empty() && stack.back().fostered) Pop();
  }

  // Where character data the table modes refuse goes: before the table.
  std::string_view FosterParent() const {
    for (std::size_t i = stack.size(); i-- > 0;) {
      if (!stack[i].foreign && stack[i].id == T::kTable) {
        if (stack[i].parent) return *stack[i].parent;
        return i == 0 ? std::string_view() : stack[i - 1].Name();
      }
    }
    return Current();
  }

  // Takes the tree from before <html> into the body, as character data or a
  // start tag that belongs there does.
  void ImplyBody() {
    while (true) {
      switch (mode) {
        case Mode::kInitial:
          Push("html", T::kHtml, false);
          mode = Mode::kBeforeHead;
          break;
        case Mode::kBeforeHead:
          Push("head", T::kHead, false);
          mode = Mode::kInHead;
          break;
        case Mode::kInHead:
          Pop();
          mode = Mode::kAfterHead;
          break;
        case Mode::kAfterHead:
          Push("body", T::kBody, false);
          mode = Mode::kInBody;
          break;
        case Mode::kAfterBody:
        case Mode::kAfterAfterBody:
          mode = Mode::kInBody;
          return;
        case Mode::kInBody:
          return;
      }
    }
  }

  // ---- tree building on tags ----
  // Inserts the tag's element; raw text elements switch the tokenizer.
  void Insert() {
    if (IsVoid(tag_id)) return;
    Push(TagName(), tag_id, false);
    SwitchTokenizer();
  }
  // A start tag read without the tree: the tokenizer switches as Insert
  // has it, which every way there takes for these names.
  void SkimStart() {
    ++skim_starts;
    if (!skim_foreign.empty()) {
      // Integration points and the tags that end foreign content go by the
      // tree; a name after a dropped "</>" no end tag closes.
      if (In(tag_id, T::kForeignObject, T::kDesc, T::kTitle, T::kFont) ||
          BreaksOutOfForeign(tag_id) || DroppedBefore(tag_begin) ||
          skim_foreign.size() >= kSkimForeignDepth) {
        skim_lost = true;
      } else if (!self_closing) {
        skim_foreign.emplace_back(TagName());
      }
      return;  // a foreign element switches no tokenizer state
    }
    if (tag_id == T::kSvg) {
      // No tag opens more than three elements (a td in a table, say): far
      // enough from the tree's depth bound, the svg is surely kept.
      if (DroppedBefore(tag_begin) || 3 * (skim_starts + 1) + kSkimForeignDepth >= kMaxDepth) {
        skim_lost = true;
      } else if (!self_closing) {
        skim_foreign.emplace_back(TagName());
      }
      return;
    }
    if (In(tag_id, T::kMath, T::kSelect)) {
      skim_lost = true;
      return;
    }
    SwitchTokenizer();
  }
  // An end tag in foreign content closes the innermost foreign element of
  // its name, if it is a bare one; otherwise the HTML rules take it.
  void SkimEnd() {
    if (skim_foreign.empty()) return;
    for (std::size_t i = skim_foreign.size(); bare_end_tag && i-- > 0;) {
      if (skim_foreign[i] == TagName()) {
        skim_foreign.resize(i);
        return;
      }
    }
    skim_lost = true;
  }
  static constexpr std::size_t kSkimForeignDepth = 64;
  void SwitchTokenizer() {
    // Only raw text elements need their name kept, for their end tag.
    switch (tag_id) {
      case T::kTitle:
      case T::kTextarea:
        raw_name.assign(TagName());
        state = St::kRcdata;
        break;
      case T::kStyle:
      case T::kXmp:
      case T::kIframe:
      case T::kNoembed:
      case T::kNoframes:
      case T::kNoscript:
        raw_name.assign(TagName());
        state = St::kRawtext;
        break;
      case T::kScript:
        raw_name.assign(TagName());
        state = St::kScript;
        break;
      case T::kPlaintext:
        state = St::kPlaintext;
        break;
      default:
        break;
    }
  }
  void InsertForeign(bool math) {
    Push(TagName(), tag_id, true, math);
    if (!stack.empty() && overflow == 0) {
      stack.back().unnamed = DroppedBefore(tag_begin);
    }
    if (self_closing) Pop();
  }

  bool IsHeadElement() const {
    return In(tag_id, T::kBase, T::kBasefont, T::kBgsound, T::kLink, T::kMeta, T::kTitle,
              T::kNoframes, T::kStyle, T::kScript, T::kTemplate);
  }

  // Whether the body's rules take the tag with nothing else to decide: in
  // the body (or a template), the innermost element HTML, neither a select's
  // nor a column group's nor a table's part. Most tags of a page are.
  bool PlainBody() const {
    if (overflow != 0 || stack.empty() || (mode != Mode::kInBody && templates == 0)) return false;
    const Node& top = stack.back();
    return !top.foreign && !top.fostered && !IsTableMode(top.id) &&
           !In(top.id, T::kSelect, T::kOption, T::kOptgroup, T::kColgroup);
  }

  void StartTag() {
    if ((kFlags[Index(tag_id)] & kPlainStart) != 0 && PlainBody()) {
      // What BodyStart does with them, without the way there.
      if (ClosesP(tag_id)) CloseP();
      Insert();
      return;
    }
    // Inside svg or math, tags are foreign unless they end the foreign
    // content or sit in an integration point.
    if (const Node* top = Top(); top != nullptr && top->foreign) {
      const bool html_point = !top->math && ReadsHtml(*top);
      const bool text_point =
          top->math && ReadsHtml(*top) && !In(tag_id, T::kMglyph, T::kMalignmark);
      const bool svg_in_annotation = top->math && top->id == T::kAnnotationXml && tag_id == T::kSvg;
      if (!html_point && !text_point && !svg_in_annotation) {
        if (BreaksOutOfForeign(tag_id) || (tag_id == T::kFont && font_breaks_out)) {
          while (!stack.empty() && stack.back().foreign && !ReadsHtml(stack.back())) {
            Pop();
          }
        } else {
          InsertForeign(top->math);
          return;
        }
      }
    }
    if (templates > 0) {
      InBodyStart();
      return;
    }
    for (int round = 0; round < 8; ++round) {
      switch (mode) {
        case Mode::kInitial:
          if (tag_id == T::kHtml) {
            Push("html", T::kHtml, false);
            mode = Mode::kBeforeHead;
            return;
          }
          Push("html", T::kHtml, false);
          mode = Mode::kBeforeHead;
          continue;
        case Mode::kBeforeHead:
          // A second <html> here implies the head, as gumbo has it.
          Push("head", T::kHead, false);
          mode = Mode::kInHead;
          if (tag_id == T::kHead || tag_id == T::kHtml) return;
          continue;
        case Mode::kInHead:
          if (tag_id == T::kHtml || tag_id == T::kHead) return;
          if (IsHeadElement() || tag_id == T::kNoscript) {
            Insert();
            return;
          }
          Pop();
          mode = Mode::kAfterHead;
          continue;
        case Mode::kAfterHead:
          if (tag_id == T::kHtml || tag_id == T::kHead) return;
          if (tag_id == T::kBody || tag_id == T::kFrameset) {
            Push(TagName(), tag_id, false);
            mode = Mode::kInBody;
            return;
          }
          if (IsHeadElement()) {
            Insert();
            return;
          }
          Push("body", T::kBody, false);
          mode = Mode::kInBody;
          continue;
        case Mode::kAfterBody:
        case Mode::kAfterAfterBody:
          if (tag_id == T::kHtml) return;
          mode = Mode::kInBody;
          continue;
        case Mode::kInBody:
          InBodyStart();
          return;
      }
    }
  }

  bool TableOpen() const {
    return std::any_of(stack.begin(), stack.end(),
                       [](const Node& n) { return !n.foreign && n.id == T::kTable; });
  }

  void InBodyStart() {
    if (InSelect()) {
      // A select in a table ends at the table's structure.
      if (In(tag_id, T::kCaption, T::kTable, T::kTbody, T::kTfoot, T::kThead, T::kTr, T::kTd,
             T::kTh) &&
          TableOpen()) {
        PopUntil(T::kSelect);
        return InBodyStart();
      }
      switch (tag_id) {
        case T::kOption:
          if (TopIs(T::kOption)) Pop();
          Insert();
          return;
        case T::kOptgroup:
          if (TopIs(T::kOption)) Pop();
          if (TopIs(T::kOptgroup)) Pop();
          Insert();
          return;
        case T::kSelect:
          PopUntil(T::kSelect);
          return;
        case T::kInput:
        case T::kKeygen:
        case T::kTextarea:
          PopUntil(T::kSelect);
          break;
        case T::kScript:
        case T::kTemplate:
          Insert();
          return;
        default:
          return;  // dropped
      }
    }
    // A table's structure closes the open cell or caption first.
    const bool structure = In(tag_id, T::kCaption, T::kCol, T::kColgroup, T::kTbody, T::kTd,
                              T::kTfoot, T::kTh, T::kThead, T::kTr);
    if (structure && !stack.empty() && !InTableMode()) {
      if (InScopeIf([](T t) { return t == T::kTd || t == T::kTh; }, Scope::kTable)) {
        GenerateImpliedEndTags();
        PopUntilCell();
      } else if (InScope(T::kCaption, Scope::kTable)) {
        PopUntil(T::kCaption);
      } else if (TopIs(T::kColgroup)) {
        Pop();
      }
    }
    if (TopIs(T::kColgroup) && tag_id != T::kCol) Pop();
    if (InTableMode()) {
      if (TableStart()) return;
      // The body's rules open it, before the table.
      BodyStart();
      return;
    }
    BodyStart();
  }

  void BodyStart() {
    switch (tag_id) {
      case T::kHtml:
      case T::kBody:
      case T::kFrameset:
      case T::kHead:
      case T::kCaption:
      case T::kCol:
      case T::kColgroup:
      case T::kFrame:
      case T::kTbody:
      case T::kTd:
      case T::kTfoot:
      case T::kTh:
      case T::kThead:
      case T::kTr:
        return;  // dropped or merged into the open one
      case T::kH1:
      case T::kH2:
      case T::kH3:
      case T::kH4:
      case T::kH5:
      case T::kH6:
        CloseP();
        if (!stack.empty() && !stack.back().foreign && IsHeading(stack.back().id)) Pop();
        Insert();
        return;
      case T::kPre:
      case T::kListing:
      case T::kXmp:
      case T::kPlaintext:
      case T::kHr:
        CloseP();
        Insert();
        return;
      case T::kForm:
        if (form_open) return;
        CloseP();
        form_open = true;
        Insert();
        return;
      case T::kLi:
      case T::kDd:
      case T::kDt:
        CloseListItem();
        CloseP();
        Insert();
        return;
      case T::kA:
        // An open a closes before the next one opens; one out of scope (in
        // a table's cell, say) is taken out of the open elements all the
        // same, unless a cell, caption or object opened since keeps it.
        // (Most a elements open with none open: nothing to look for.)
        if (a_open > 0 && InScope(T::kA)) {
          FormattingEnd();
        } else if (const std::size_t i = a_open > 0 ? OpenFormattingA() : stack.size();
                   i < stack.size()) {
          if (i + 1 < stack.size() && !stack[i + 1].parent)
            stack[i + 1].parent = std::make_unique<std::string>(stack[i].Name());
          EraseAt(i);
        }
        Insert();
        return;
      case T::kNobr:
        if (InScope(T::kNobr)) FormattingEnd();
        Insert();
        return;
      case T::kButton:
        if (InScope(T::kButton)) {
          GenerateImpliedEndTags();
          PopUntil(T::kButton);
        }
        Insert();
        return;
      case T::kTable:
        if (!quirks) CloseP();
        Insert();
        return;
      case T::kOption:
      case T::kOptgroup:
        if (TopIs(T::kOption)) Pop();
        Insert();
        return;
      case T::kRb:
      case T::kRtc:
        if (InScope(T::kRuby)) GenerateImpliedEndTags();
        Insert();
        return;
      case T::kRp:
      case T::kRt:
        if (InScope(T::kRuby)) GenerateImpliedEndTags(T::kRtc);
        Insert();
        return;
      case T::kMath:
      case T::kSvg:
        InsertForeign(tag_id == T::kMath);
        return;
      default:
        if (ClosesP(tag_id)) CloseP();
        Insert();
        return;
    }
  }

  void CloseListItem() {
    for (std::size_t i = stack.size(); i-- > 0;) {
      const Node& n = stack[i];
      if (n.foreign) {
        if (IsForeignSpecial(n)) return;
        continue;
      }
      const bool match = tag_id == T::kLi ? n.id == T::kLi : In(n.id, T::kDd, T::kDt);
      if (match) {
        const T id = n.id;
        GenerateImpliedEndTags(id);
        PopUntil(id);
        return;
      }
      if (IsSpecialHtml(n.id) && !In(n.id, T::kAddress, T::kDiv, T::kP)) return;
    }
  }

  // The table insertion modes; false hands the tag to the body's rules (the
  // element is then placed before the table but still opened).
  bool TableStart() {
    structural = true;
    const bool handled = TableRules();
    structural = false;
    return handled;
  }
  bool TableRules() {
    if (In(tag_id, T::kCaption, T::kColgroup, T::kCol, T::kTbody, T::kThead, T::kTfoot, T::kTr,
           T::kTd, T::kTh, T::kTable)) {
      PopFostered();
    }
    switch (tag_id) {
      case T::kCaption:
      case T::kColgroup:
        ClearToTable();
        Insert();
        return true;
      case T::kCol:
        ClearToTable();
        Push("colgroup", T::kColgroup, false);
        return true;
      case T::kTbody:
      case T::kThead:
      case T::kTfoot:
        ClearToTable();
        Insert();
        return true;
      case T::kTr:
        if (TopIs(T::kTr)) Pop();
        if (TopIs(T::kTable)) Push("tbody", T::kTbody, false);
        Insert();
        return true;
      case T::kTd:
      case T::kTh:
        if (TopIs(T::kTable)) Push("tbody", T::kTbody, false);
        if (!stack.empty() && IsTableSection(stack.back().id)) Push("tr", T::kTr, false);
        Insert();
        return true;
      case T::kTable:
        if (InScope(T::kTable, Scope::kTable)) {
          PopUntil(T::kTable);
          StartTag();
        }
        return true;
      case T::kStyle:
      case T::kScript:
      case T::kTemplate:
        Insert();
        return true;
      case T::kForm:
        form_open = true;  // inserted and closed at once
        return true;
      default:
        return false;
    }
  }
  void ClearToTable() {
    while (!stack.empty() && !(TopIs(T::kTable) || TopIs(T::kHtml) || TopIs(T::kTemplate))) {
      Pop();
    }
  }

  void EndTag(bool closes_raw) {
    if (closes_raw) {
      // The end tag of a raw text element always closes it.
      Pop();
      return;
    }
    if ((kFlags[Index(tag_id)] & kPlainEnd) != 0 && overflow == 0 && !stack.empty() &&
        !stack.back().foreign && (mode == Mode::kInBody || templates > 0) &&
        NamedLikeTag(stack.back())) {
      // The innermost element's own end tag: whatever rule the body has for
      // it closes just that one.
      Pop();
      return;
    }
    if (const Node* top = Top(); top != nullptr && top->foreign) {
      // Foreign elements close by name, whatever their case; an HTML element
      // on the way hands the tag to the HTML rules. As gumbo reads them, an
      // end tag with anything between its name and '>' names none.
      for (std::size_t i = stack.size(); i-- > 0;) {
        if (!stack[i].foreign) break;
        if (i == 0) return;
        if (bare_end_tag && !stack[i].unnamed && NamedLikeTag(stack[i])) {
          while (stack.size() > i) Pop();
          return;
        }
      }
    }
    if (tag_id == T::kTemplate) {
      if (templates > 0) {
        GenerateImpliedEndTags();
        PopUntil(T::kTemplate);
      }
      return;
    }
    if (templates > 0) {
      InBodyEnd();
      return;
    }
    if (TopIs(T::kColgroup)) {
      // A column group holds nothing but col elements: any other end tag
      // closes it first and is read again by the table's rules; a </col>
      // is dropped.
      if (tag_id == T::kCol) return;
      Pop();
      if (tag_id == T::kColgroup) return;
    }
    for (int round = 0; round < 8; ++round) {
      const bool breaks = In(tag_id, T::kHead, T::kBody, T::kHtml, T::kBr);
      switch (mode) {
        case Mode::kInitial:
          if (!breaks || tag_id == T::kHead) {
            if (tag_id != T::kHead) return;
          }
          Push("html", T::kHtml, false);
          mode = Mode::kBeforeHead;
          continue;
        case Mode::kBeforeHead:
          if (!breaks) return;
          Push("head", T::kHead, false);
          mode = Mode::kInHead;
          continue;
        case Mode::kInHead:
          if (tag_id == T::kHead) {
            Pop();
            mode = Mode::kAfterHead;
            return;
          }
          if (!breaks) return;
          Pop();
          mode = Mode::kAfterHead;
          continue;
        case Mode::kAfterHead:
          if (!breaks || tag_id == T::kHead) return;
          Push("body", T::kBody, false);
          mode = Mode::kInBody;
          continue;
        case Mode::kAfterBody:
          if (tag_id == T::kHtml) {
            mode = Mode::kAfterAfterBody;
            return;
          }
          mode = Mode::kInBody;
          continue;
        case Mode::kAfterAfterBody:
          mode = Mode::kInBody;
          continue;
        case Mode::kInBody:
          InBodyEnd();
          return;
      }
    }
  }

  void InBodyEnd() {
    if (InSelect()) {
      if (In(tag_id, T::kCaption, T::kTable, T::kTbody, T::kTfoot, T::kThead, T::kTr, T::kTd,
             T::kTh) &&
          TableOpen()) {
        if (!InScope(tag_id, Scope::kTable)) return;
        PopUntil(T::kSelect);
        return InBodyEnd();
      }
      if (tag_id == T::kOption) {
        if (TopIs(T::kOption)) Pop();
        return;
      }
      if (tag_id == T::kOptgroup) {
        if (TopIs(T::kOption) && stack.size() >= 2 && stack[stack.size() - 2].id == T::kOptgroup) {
          Pop();
        }
        if (TopIs(T::kOptgroup)) Pop();
        return;
      }
      if (tag_id == T::kSelect) {
        PopUntil(T::kSelect);
        return;
      }
      return;
    }
    switch (tag_id) {
      case T::kBody:
        if (InScope(T::kBody)) mode = Mode::kAfterBody;
        return;
      case T::kHtml:
        if (InScope(T::kBody)) mode = Mode::kAfterAfterBody;
        return;
      case T::kP:
        if (PInButtonScope()) PopUntil(T::kP);
        return;
      case T::kLi:
        if (InScope(T::kLi, Scope::kListItem)) PopUntil(T::kLi);
        return;
      case T::kBr:
        return;  // read as <br>, which holds nothing
      case T::kForm: {
        // The form closes where it is in the stack, elements opened in it
        // stay open; only the end tags it implies close first.
        const bool was_open = form_open;
        form_open = false;
        if (!was_open || !InScope(T::kForm)) return;
        GenerateImpliedEndTags();
        for (std::size_t i = stack.size(); i-- > 0;) {
          if (!stack[i].foreign && stack[i].id == T::kForm) {
            EraseAt(i);
            return;
          }
        }
        return;
      }
      case T::kH1:
      case T::kH2:
      case T::kH3:
      case T::kH4:
      case T::kH5:
      case T::kH6:
        if (InScopeIf(IsHeading, Scope::kDefault)) PopUntilHeading();
        return;
      case T::kTable:
      case T::kTbody:
      case T::kThead:
      case T::kTfoot:
      case T::kTr:
      case T::kTd:
      case T::kTh:
      case T::kCaption:
      case T::kColgroup:
        if (InScope(tag_id, Scope::kTable)) PopUntil(tag_id);
        return;
      case T::kA:
      case T::kB:
      case T::kBig:
      case T::kCode:
      case T::kEm:
      case T::kFont:
      case T::kI:
      case T::kNobr:
      case T::kS:
      case T::kSmall:
      case T::kStrike:
      case T::kStrong:
      case T::kTt:
      case T::kU:
        FormattingEnd();
        return;
      default:
        break;
    }
    if (tag_id != T::kOther && IsSpecialHtml(tag_id)) {
      if (InScope(tag_id)) PopUntil(tag_id);
      return;
    }
    // Any other end tag closes the nearest element of its name unless a
    // special element comes first.
    for (std::size_t i = stack.size(); i-- > 0;) {
      const Node& n = stack[i];
      if (!n.foreign && NamedLikeTag(n)) {
        while (stack.size() > i) Pop();
        return;
      }
      if (n.foreign ? IsForeignSpecial(n) : IsSpecialHtml(n.id)) return;
    }
  }

  // The innermost open HTML a that the active formatting elements would
  // still hold (none of the elements that put a marker there opened after
  // it), or stack.size().
  std::size_t OpenFormattingA() const {
    for (std::size_t i = stack.size(); i-- > 0;) {
      const Node& n = stack[i];
      if (n.foreign) continue;
      if (n.id == T::kA) return i;
      if (In(n.id, T::kTd, T::kTh, T::kCaption, T::kApplet, T::kObject, T::kMarquee, T::kTemplate))
        break;
    }
    return stack.size();
  }
  // A formatting element's end tag: closes it when it is the innermost
  // thing open; a block opened inside it stays open (misnested markup).
  void FormattingEnd() {
    for (std::size_t i = stack.size(); i-- > 0;) {
      const Node& n = stack[i];
      if (!n.foreign && n.id == tag_id) {
        bool special_above = false;
        for (std::size_t j = i + 1; j < stack.size(); ++j) {
          if (!stack[j].foreign && IsSpecialHtml(stack[j].id)) special_above = true;
        }
        if (special_above) {
          EraseAt(i);
        } else {
          while (stack.size() > i) Pop();
        }
        return;
      }
      if (Boundary(n, Scope::kDefault)) return;
    }
  }

  // ---- the tokenizer ----
  // The end of the tag name that starts at `from`, the name itself not kept.
  std::size_t NameEnd(std::size_t from) const {
    const char* t = text.data();
    const std::size_t n = text.size();
#if defined(__SSE2__) && defined(__x86_64__)
    if (n - from >= 16) {
      const unsigned mask =
          NameEndCandidates(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + from)));
      if (mask != 0 && EndsName(t[from + static_cast<std::size_t>(__builtin_ctz(mask))]))
        return from + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    while (from < n && !EndsName(t[from])) ++from;
    return from;
  }
  // Reads a tag name from `from`, lower case, cut at kMaxName.
  std::size_t ReadTagName(std::size_t from) {
    const char* t = text.data();
    const std::size_t n = text.size();
#if defined(__SSE2__) && defined(__x86_64__)
    // Most names end within sixteen bytes: found, lowered and keyed at once.
    if (n - from >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + from));
      const unsigned mask = NameEndCandidates(bytes);
      if (mask != 0 && EndsName(t[from + static_cast<std::size_t>(__builtin_ctz(mask))])) {
        const auto size = static_cast<std::size_t>(__builtin_ctz(mask));
        // 'A' to 'Z' (signed compares leave bytes from 0x80 alone) plus 0x20.
        const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('A' - 1)),
                                            _mm_cmplt_epi8(bytes, _mm_set1_epi8('Z' + 1)));
        __m128i lower = _mm_add_epi8(bytes, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
        // Zeros from the name's end on.
        alignas(16) static constexpr unsigned char kKeep[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                                0xFF, 0xFF, 0xFF, 0xFF};
        lower = _mm_and_si128(lower,
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep + 16 - size)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(tag_name), lower);
        tag_name_size = size;
        tag_id = Lookup(
            static_cast<std::uint64_t>(_mm_cvtsi128_si64(lower)),
            static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(lower, lower))), size);
        return from + size;
      }
    }
#endif
    // The name table's key is built in registers as the name is read: read
    // back from the bytes just stored, it would wait for them.
    std::uint64_t key[2] = {0, 0};
    std::size_t end = from, kept = 0;
    for (; end < n && !EndsName(t[end]); ++end) {
      if (kept >= kMaxName) continue;
      const char c = Lower(t[end]);
      if (kept < 16)
        key[kept / 8] |= std::uint64_t{static_cast<unsigned char>(c)} << (8 * (kept % 8));
      tag_name[kept++] = c;
    }
    tag_name_size = kept;
    tag_id = Lookup(key[0], key[1], kept);
    return end;
  }

  // The end of an unquoted attribute value or of a quoted one (its closing
  // quote included) that starts at `from`.
  std::size_t ValueEnd(std::size_t from) const {
    const char c = text[from];
    if (c == '"' || c == '\'') {
      const std::size_t end = FindChar(c, from + 1);
      return end < text.size() ? end + 1 : end;
    }
    std::size_t end = from + 1;
    while (end < text.size() && !IsSpace(text[end]) && text[end] != '>') ++end;
    return end;
  }
  // The end of an attribute name that starts at `from`: its first character
  // is part of it even when it is '='.
  std::size_t AttributeNameEnd(std::size_t from) const {
    std::size_t end = from + 1;
    while (end < text.size() && !EndsName(text[end]) && text[end] != '=') ++end;
    return end;
  }

  // A tag's attributes from the end of its name, in one go: `part(begin,
  // end, context)` is told each attribute name and value. The tokenizer's
  // before-attribute-name, after-attribute-name, before-attribute-value and
  // self-closing states, without stopping at each piece; TagPartAt walks the
  // same states piece by piece.
  struct TagWalk {
    std::size_t end;  // after the '>', or the end of the page
    bool closed;
    bool self_closing;
  };
  template <typename Part>
  TagWalk WalkTag(std::size_t p, Part&& part) const {
    const char* t = text.data();
    const std::size_t n = text.size();
    for (;;) {
      // Before an attribute name (and after a value).
      while (p < n && IsSpace(t[p])) ++p;
      if (p >= n) return {n, false, false};
      if (t[p] == '>') return {p + 1, true, false};
      if (t[p] != '/') {
        const std::size_t name_end = AttributeNameEnd(p);
        part(p, name_end, Context::AttributeName);
        p = name_end;
        // After the name.
        while (p < n && IsSpace(t[p])) ++p;
        if (p >= n) return {n, false, false};
        if (t[p] == '>') return {p + 1, true, false};
        if (t[p] != '=') {
          if (t[p] != '/') continue;  // the next attribute's name
        } else {
          // Before the value.
          ++p;
          while (p < n && IsSpace(t[p])) ++p;
          if (p >= n) return {n, false, false};
          if (t[p] == '>') return {p + 1, true, false};
          const std::size_t value_end = ValueEnd(p);
          part(p, value_end, Context::AttributeValue);
          p = value_end;
          continue;
        }
      }
      // At a '/': self-closing when a '>' follows; otherwise what follows is
      // read as before an attribute name.
      ++p;
      if (p < n && t[p] == '>') return {p + 1, true, true};
    }
  }

  // `gt`: the tag's '>', where the blocks found it; its attributes then need
  // no walk unless they matter (a font's, or collected ones). A '/' right
  // before that '>' can end no name or value there: the tag self-closes.
  void BeginTag(std::size_t name_from, bool is_end, std::size_t gt = MarkupBlocks::kNone) {
    end_tag = is_end;
    self_closing = false;
    font_breaks_out = false;
    const std::size_t name_end = ReadTagName(name_from);
    tag_begin = pos;
    tag_name_end = name_end;
    const bool font = tag_id == T::kFont && !is_end;
    const TagWalk walk = gt != MarkupBlocks::kNone && !font && collect == nullptr
                             ? TagWalk{gt + 1, true, gt > name_end && text[gt - 1] == '/'}
                             : WalkTag(name_end, [&](std::size_t from, std::size_t to, Context c) {
                                 if (font && c == Context::AttributeName)
                                   NoteAttributeName(from, to);
                                 if (collect) Collect(from, to, c);
                               });
    Emit(walk.end, Context::Tag, TagName());
    // Asked inside the tag, TagPartAt tells its pieces apart from here.
    seg_in_tag = true;
    part_state = St::kBeforeAttrName;
    part_pos = name_end;
    part_begin = tag_begin;
    part_end = name_end;
    part_context = Context::Tag;
    const bool raw = closing_raw;
    closing_raw = false;
    if (!walk.closed) {
      state = St::kBeforeAttrName;  // the page ends inside the tag
      return;
    }
    self_closing = walk.self_closing;
    state = St::kData;
    ++tags_closed;
    // Gumbo counts a dropped "</>" just before an end tag as part of it, so
    // that end tag is not bare either.
    bare_end_tag = end_tag && walk.end - 1 == name_end && !DroppedBefore(tag_begin);
    if (skim) {
      if (end_tag) {
        SkimEnd();
      } else {
        SkimStart();
      }
      return;
    }
    if (end_tag) {
      EndTag(raw);
    } else {
      StartTag();
    }
  }

  // The context of `offset`, inside the tag last read: one piece after
  // another, so that offsets asked in order cost one walk of the tag.
  Context TagPartAt(std::size_t offset) {
    if (end_tag) return Context::Tag;  // an end tag's attributes are dropped
    const std::size_t n = text.size();
    while (offset >= part_end && part_pos < seg_end) {
      const std::size_t from = part_pos;
      const char c = text[from];
      Context context = Context::Tag;
      std::size_t to = from + 1;
      switch (part_state) {
        case St::kBeforeAttrName:
        case St::kAfterAttrName:
          if (IsSpace(c)) {
            while (to < n && IsSpace(text[to])) ++to;
          } else if (c == '/') {
            part_state = St::kSelfClosing;
          } else if (c == '=' && part_state == St::kAfterAttrName) {
            part_state = St::kBeforeAttrValue;
          } else if (c != '>') {
            to = AttributeNameEnd(from);
            context = Context::AttributeName;
            part_state = St::kAfterAttrName;
          }
          break;
        case St::kBeforeAttrValue:
          if (IsSpace(c)) {
            while (to < n && IsSpace(text[to])) ++to;
          } else if (c != '>') {
            to = ValueEnd(from);
            context = Context::AttributeValue;
            part_state = St::kBeforeAttrName;
          }
          break;
        default:  // self-closing
          if (c != '>') {
            part_state = St::kBeforeAttrName;
            continue;  // the same byte again
          }
          break;
      }
      part_begin = from;
      part_end = to;
      part_context = context;
      part_pos = to;
    }
    return part_context;
  }

  // The place of a comment (bogus ones and CDATA too): where the tree builder
  // would append it.
  std::string_view CommentElement() const {
    // Foreign content keeps its comments whatever the insertion mode.
    if (ForeignContent()) return Current();
    switch (mode) {
      case Mode::kInitial:
      case Mode::kAfterAfterBody:
        return {};
      case Mode::kAfterBody:
        return stack.empty() ? std::string_view() : stack.front().Name();
      default:
        return Current();
    }
  }

  // Until and including the next '>' or to the end of the page.
  std::size_t ToGreater(std::size_t from) const {
    const std::size_t gt = text.find('>', from);
    return gt == std::string_view::npos ? text.size() : gt + 1;
  }

  void Doctype(std::size_t end) {
    if (mode == Mode::kInitial && !doctype_read) {
      // The first doctype is the page's; any later one is dropped.
      doctype_read = true;
      // A named html doctype takes the page out of quirks mode, unless what
      // follows the name makes the tokenizer force quirks.
      std::size_t i = pos + 9;
      while (i < end && IsSpace(text[i])) ++i;
      quirks = !(StartsWithNoCase(text, i, "html") &&
                 (i + 4 >= text.size() || IsSpace(text[i + 4]) || text[i + 4] == '>')) ||
               ForcesQuirks(i + 4, end);
    }
    Emit(end, Context::Other, {});
  }
  // Whether the rest of a doctype, from after its name to `end` (after its
  // '>', or the page's end), has the tokenizer force quirks mode: the page
  // ends in it, or its PUBLIC and SYSTEM identifiers are not as written
  // ("PUBLIC" alone, an identifier without quotes, anything else after the
  // name or between the identifiers). After the system identifier anything
  // goes.
  bool ForcesQuirks(std::size_t i, std::size_t end) const {
    if (end == 0 || text[end - 1] != '>') return true;  // the page ends in it
    const std::size_t stop = end - 1;
    auto spaces = [&] {
      while (i < stop && IsSpace(text[i])) ++i;
    };
    // A quoted identifier from i: false when none, or when the doctype
    // ends inside it.
    auto quoted = [&] {
      if (i >= stop || (text[i] != '"' && text[i] != '\'')) return false;
      const std::size_t close = text.find(text[i], i + 1);
      if (close == std::string_view::npos || close >= stop) return false;
      i = close + 1;
      return true;
    };
    spaces();
    if (i >= stop) return false;
    const bool is_public = StartsWithNoCase(text, i, "public");
    if (!is_public && !StartsWithNoCase(text, i, "system")) return true;
    i += 6;
    spaces();
    if (!quoted()) return true;
    if (is_public) {
      spaces();
      if (i >= stop) return false;
      if (!quoted()) return true;
    }
    return false;
  }

  bool ForeignContent() const {
    if (skim) return !skim_foreign.empty();
    return !stack.empty() && stack.back().foreign;
  }

  // The end of character data from `from`: the next '<' that starts a tag,
  // a comment or a declaration.
  std::size_t TextEnd(std::size_t from) const {
    const std::size_t n = text.size();
    for (std::size_t lt = FindChar('<', from); lt < n; lt = FindChar('<', lt + 1)) {
      if (lt + 1 >= n) return n;
      const char c = text[lt + 1];
      // "</>" is dropped whole: the character data runs on over it.
      if (c == '/' && lt + 2 < n && text[lt + 2] == '>') continue;
      if (IsAlpha(c) || c == '!' || c == '?' || (c == '/' && lt + 2 < n)) return lt;
    }
    return n;
  }

  void StepData() {
    const std::size_t n = text.size();
    if (text[pos] != '<') {
      Characters(TextEnd(pos));
      return;
    }
    if (pos + 1 >= n) {
      Characters(n);
      return;
    }
    const char c = text[pos + 1];
    if (IsAlpha(c)) {
      BeginTag(pos + 1, false);
      return;
    }
    if (c == '/') {
      if (pos + 2 >= n) {
        Characters(n);
      } else if (IsAlpha(text[pos + 2])) {
        BeginTag(pos + 2, true);
      } else if (text[pos + 2] == '>') {
        Characters(TextEnd(pos + 3));  // "</>" is dropped, read as text
      } else {
        Emit(ToGreater(pos + 2), Context::Other, CommentElement());
      }
      return;
    }
    if (c == '!') {
      if (text.compare(pos + 2, 2, "--") == 0) {
        Emit(CommentEnd(pos + 4), Context::Comment, CommentElement());
      } else if (StartsWithNoCase(text, pos + 2, "doctype")) {
        Doctype(ToGreater(pos + 9));
      } else if (ForeignContent() && text.compare(pos + 2, 7, "[CDATA[") == 0) {
        const std::size_t close = text.find("]]>", pos + 9);
        Emit(close == std::string_view::npos ? n : close + 3, Context::Other, Current());
      } else {
        Emit(ToGreater(pos + 2), Context::Other, CommentElement());
      }
      return;
    }
    if (c == '?') {
      Emit(ToGreater(pos + 2), Context::Other, CommentElement());
      return;
    }
    Characters(TextEnd(pos + 1));
  }

  // After "<!--" at `from`: the end of the comment. "<!-->" and "<!--->" end
  // at once; otherwise at "-->" or "--!>", or the end of the page.
  std::size_t CommentEnd(std::size_t from) const {
    const std::size_t n = text.size();
    if (from < n && text[from] == '>') return from + 1;
    if (from + 1 < n && text[from] == '-' && text[from + 1] == '>') return from + 2;
    for (std::size_t i = from;;) {
      const std::size_t dash = text.find("--", i);
      if (dash == std::string_view::npos) return n;
      std::size_t j = dash + 2;
      while (j < n && text[j] == '-') ++j;
      if (j < n && text[j] == '>') return j + 1;
      if (j + 1 < n && text[j] == '!' && text[j + 1] == '>') return j + 2;
      i = j;
    }
  }

  // Character data from pos to end in the data state: where it lands depends
  // on the insertion mode and on whether it is all white space.
  // The end of the white space (and of the "</>"s, which are dropped) from
  // `from`, at most `end`.
  std::size_t SpaceEnd(std::size_t from, std::size_t end) const {
    while (from < end) {
      if (IsSpace(text[from])) {
        ++from;
      } else if (end - from >= 3 && DroppedEndAt(from)) {
        from += 3;
      } else {
        break;
      }
    }
    return from;
  }

  void EmitText(std::size_t end, std::string_view element) {
    EmitContent(end, element);
    data_text_end = end;
  }
  // Character data goes where the body's rules put it, whatever it holds.
  bool BodyTakesText() const {
    return (mode == Mode::kInBody || templates != 0) && !TopIs(T::kColgroup);
  }
  void Characters(std::size_t end) {
    if (skim) {
      EmitText(end, {});
      return;
    }
    // Foreign content takes character data as it comes, outside the
    // integration points, whatever the insertion mode.
    if (ForeignContent() && !ReadsHtml(stack.back())) {
      EmitText(end, Current());
      return;
    }
    if (!BodyTakesText()) {
      const std::size_t i = SpaceEnd(pos, end);
      if (i > pos) {
        EmitText(i, Current());
        return;
      }
      if (TopIs(T::kColgroup)) {
        Pop();
        return Characters(end);
      }
      ImplyBody();
    }
    if (!stack.empty() && !stack.back().foreign && IsTableMode(stack.back().id)) {
      // A table takes white space; NULs are dropped; anything else goes
      // before the table, with the white space around it.
      bool all_space = true;
      for (std::size_t i = SpaceEnd(pos, end); i < end; i = SpaceEnd(i + 1, end)) {
        if (text[i] != '\0') {
          all_space = false;
          break;
        }
      }
      EmitText(end, all_space ? Current() : FosterParent());
      return;
    }
    EmitText(end, Current());
  }

  // Whether an end tag of raw_name starts at `at` ("</name" and a delimiter).
  bool RawEndAt(std::size_t at) const {
    const std::size_t n = text.size();
    if (at + 2 + raw_name.size() >= n || text[at + 1] != '/') return false;
    return StartsWithNoCase(text, at + 2, raw_name) && EndsName(text[at + 2 + raw_name.size()]);
  }

  std::size_t FindChar(char c, std::size_t from) const {
    return FindByte(text.data(), from, text.size(), c);
  }

  void StepRaw() {
    if (text[pos] == '<' && RawEndAt(pos)) {
      closing_raw = true;
      BeginTag(pos + 2, true);
      return;
    }
    std::size_t end = pos;
    if (state == St::kScript) {
      end = ScriptEnd(pos);
    } else {
      end = FindChar('<', pos + 1);
      while (end < text.size() && !RawEndAt(end)) end = FindChar('<', end + 1);
    }
    EmitContent(end, Current());
  }
  bool closing_raw = false;

  std::size_t LettersEnd(std::size_t from) const {
    while (from < text.size() && IsAlpha(text[from])) ++from;
    return from;
  }
  bool IsScriptWord(std::size_t from, std::size_t to) const {
    return to - from == 6 && StartsWithNoCase(text, from, "script");
  }

  // Script data with its escaped ("<!--") and double-escaped
  // ("<!--<script>") states: where the closing </script starts.
  std::size_t ScriptEnd(std::size_t p) const {
    const std::size_t n = text.size();
    enum { kPlain, kEscaped, kDouble } sub = kPlain;
    // Past a tag name that starts at `from`: a whole "script" (ended by a
    // delimiter) turns the state to `to`, as "<script" and "</script" do in
    // escaped and double-escaped script data.
    auto PastScriptWord = [&](std::size_t from, decltype(sub)& state, decltype(sub) to) {
      const std::size_t q = LettersEnd(from);
      if (q >= n || !EndsName(text[q])) return q;
      if (IsScriptWord(from, q)) state = to;
      return q + 1;
    };
    int dashes = 0;
    while (p < n) {
      if (sub == kPlain) {
        p = FindChar('<', p);
        if (p >= n) return n;
        if (RawEndAt(p)) return p;
        if (text.compare(p + 1, 3, "!--") == 0) {
          sub = kEscaped;
          dashes = 2;
          p += 4;
        } else {
          ++p;
        }
        continue;
      }
      const char c = text[p];
      if (c == '-') {
        ++dashes;
        ++p;
        continue;
      }
      if (c == '>' && dashes >= 2) {
        sub = kPlain;
        dashes = 0;
        ++p;
        continue;
      }
      dashes = 0;
      if (c != '<') {
        const std::size_t next = text.find_first_of("-<", p + 1);
        p = next == std::string_view::npos ? n : next;
        continue;
      }
      if (sub == kEscaped) {
        if (RawEndAt(p)) return p;
        if (p + 1 < n && IsAlpha(text[p + 1])) {
          p = PastScriptWord(p + 1, sub, kDouble);
          continue;
        }
        ++p;
        continue;
      }
      // Double escaped: "</script" and a delimiter go back to escaped.
      if (p + 1 < n && text[p + 1] == '/') {
        p = PastScriptWord(p + 2, sub, kEscaped);
        continue;
      }
      ++p;
    }
    return n;
  }

  void NoteAttributeName(std::size_t from, std::size_t to) {
    if (tag_id != T::kFont || end_tag) return;
    const std::string_view name = text.substr(from, to - from);
    for (std::string_view word : {"color", "face", "size"}) {
      if (name.size() == word.size() && StartsWithNoCase(name, 0, word)) font_breaks_out = true;
    }
  }

  // Without the tree, in the data state and outside svg: past the character
  // data and ordinary tags from `pos` that end before `offset` and before
  // the page's end. Nothing is asked inside them, so no segment is made of
  // them; what comes next (a comment, a declaration, a tag that switches the
  // tokenizer, the piece `offset` lies in) is left to Step(). The place is
  // kept in a register and stored once, not after each piece.
  void SkimPast(std::size_t offset) {
    const std::size_t n = text.size();
    const char* t = text.data();
    std::size_t p = pos;
    for (;;) {
      // The blocks read up to a byte they cannot vouch for; piece by piece
      // from there, and by blocks again once past it.
      if (blocks && p >= blocks_from && n - p >= MarkupBlocks::kBlock + MarkupBlocks::kAfter &&
          offset >= p + MarkupBlocks::kBlock) {
        const MarkupBlocks::Result r =
            kSkimBlocks.Read(t, p, std::min(offset, n - MarkupBlocks::kAfter));
        tags_closed += r.tags_closed;
        skim_starts += r.starts_closed;
        if (r.text_end != MarkupBlocks::kNone) data_text_end = r.text_end;
        BlocksReadTo(p, r.pos, r.stopped, r.stop == MarkupBlocks::Stop::kLimit);
        p = r.pos;
      }
      if (t[p] != '<') {
        const std::size_t end = TextEnd(p);
        if (end > offset || end >= n) break;
        p = data_text_end = end;
        continue;
      }
      if (n - p < 3) break;
      std::size_t name_end = 0;
      const bool is_end = t[p + 1] == '/';
      if (IsAlpha(t[p + 1])) {
        // Only names from the switching ones' first letters are read: the
        // others' ends are found without reading them.
        if ((kSkimSwitchFirsts >> ((t[p + 1] | 0x20) - 'a') & 1) == 0) {
          name_end = NameEnd(p + 1);
        } else {
          name_end = ReadTagName(p + 1);
          if (SwitchesSkim(tag_id)) break;
        }
      } else if (is_end && IsAlpha(t[p + 2])) {
        // Outside svg an end tag's name changes nothing here: only its end
        // is looked for.
        name_end = NameEnd(p + 2);
      } else {
        break;
      }
      const TagWalk walk = WalkTag(name_end, [](std::size_t, std::size_t, Context) {});
      if (!walk.closed || walk.end > offset || walk.end >= n) break;
      p = walk.end;
      ++tags_closed;
      if (!is_end) ++skim_starts;
    }
    pos = p;
  }

  // Without the tree, in the data state outside svg, at a piece boundary:
  // jumps over what lies between `pos` and `offset` when nothing there can
  // take the tokenizer out of the data state for long. Bytes jumped.
  //
  // After a '>' the tokenizer is in the data state, unless the '>' lies in a
  // quoted attribute value, a comment, raw text or foreign content: in every
  // other state a '>' ends what it is in (a tag, a doctype, a bogus comment)
  // or is text. From `pos` on, only a "<!-" or a switching start tag opens
  // the last four, so they are ruled out before the first such '<'
  // (MarkupBlocks::FindSwitch). A value the '>' lies in would open with
  // the last quote before it, after an '=' and white space; where the last
  // '"' and the last '\'' since `pos` follow no '=', it lies in none. The
  // scanner then goes on from the byte after that '>' as if it had read up
  // to it: what it had read tells nothing more of the bytes after it, save
  // the start tags counted (for the svg's depth check; all those the jump
  // may have passed are counted) and a dropped "</>" right before it (no
  // jump ends after one).
  std::size_t JumpToward(std::size_t offset) {
    constexpr std::size_t kLeast = 256;  // nearer than this, reading costs less
    const std::size_t n = text.size();
    if (offset < pos + kLeast || n < MarkupBlocks::kAfter || pos < jump_from) return 0;
    const char* t = text.data();
    std::size_t starts = 0;
    const std::size_t to =
        kSkimBlocks.FindSwitch(t, pos, std::min(offset, n - MarkupBlocks::kAfter), starts);
    const std::size_t gt = LastSafeGt(pos, to);
    if (gt == std::string_view::npos || gt + 1 < pos + kLeast) {
      // Not again before `to`: each stretch is looked at once.
      jump_from = to;
      return 0;
    }
    // The start tags jumped over: each '<' followed by a letter, as the
    // tokenizer in the data state reads it (one in a value counts too).
    for (std::size_t k = gt + 1; k < to; ++k) starts -= t[k] == '<' && IsAlpha(t[k + 1]);
    skim_starts += starts;
    const std::size_t from = pos;
    pos = seg_begin = seg_end = gt + 1;
    seg_in_tag = false;
    data_text_end = std::string_view::npos;
    blocks_from = pos;
    return pos - from;
  }
  // The last '>' in [from, to) after which the tokenizer is surely in the
  // data state, by the tests of JumpToward; npos if none is found in a few
  // tries.
  std::size_t LastSafeGt(std::size_t from, std::size_t to) const {
    const char* t = text.data();
    auto last = [&](char c, std::size_t end) {
      const void* at = end > from ? memrchr(t + from, c, end - from) : nullptr;
      return at ? static_cast<std::size_t>(static_cast<const char*>(at) - t)
                : std::string_view::npos;
    };
    // A quote that may open a value: after an '=' and white space.
    auto may_open = [&](std::size_t quote) {
      std::size_t k = quote;
      while (k > from && IsSpace(t[k - 1])) --k;
      return k == from || t[k - 1] == '=';
    };
    for (int tries = 0; tries < 4; ++tries) {
      const std::size_t gt = last('>', to);
      if (gt == std::string_view::npos) return gt;
      to = gt;
      if (gt >= from + 2 && t[gt - 1] == '/' && t[gt - 2] == '<') continue;  // a dropped "</>"
      const std::size_t dq = last('"', gt);
      if (dq != std::string_view::npos && may_open(dq)) {
        to = dq;
        continue;
      }
      const std::size_t sq = last('\'', gt);
      if (sq != std::string_view::npos && may_open(sq)) {
        to = sq;
        continue;
      }
      return gt;
    }
    return std::string_view::npos;
  }
  std::size_t jump_from = 0;  // no jump is tried before it
  bool jumps = true;

  // Where blocks are tried next, once they read from `from` to the boundary
  // `to` and stopped at `stopped` (or reached it, the limit, if `limited`).
  // Trouble soon after trouble: the blocks are tried again further on each
  // time, so that a page they cannot read costs little more.
  void BlocksReadTo(std::size_t from, std::size_t to, std::size_t stopped, bool limited) {
    blocks_missed = to - from >= 4 * MarkupBlocks::kBlock ? 0 : std::min(blocks_missed + 1, 16);
    blocks_from = stopped;
    if (!limited) blocks_from += 1 + static_cast<std::size_t>(blocks_missed) * MarkupBlocks::kBlock;
  }

  // With the tree, in the data state outside foreign content: the tags and
  // character data from `pos` that end before `offset` and before the
  // page's end, found a block at a time. The tree takes each tag as
  // BeginTag gives it, from its name alone (the blocks vouch that its
  // attributes are quoted values), and each run of character data as
  // Characters would, where that changes nothing but the segment. Nothing
  // is asked inside them, so no segment is made of them. A tag after which
  // the tokenizer reads otherwise or the page is foreign content, and
  // character data that changes the tree, are left to Step().
  // Where it read past anything, an empty segment ends at pos: a helper's
  // copy may be met there.
  void TreePast(std::size_t offset) {
    const std::size_t at = pos;
    ReadBlocksWithTree(offset);
    if (pos != at) {
      seg_begin = seg_end = pos;
      seg_in_tag = false;
    }
  }
  void ReadBlocksWithTree(std::size_t offset) {
    constexpr std::size_t kMost = 64;  // blocks a reading, at most
    std::uint64_t opens[kMost], closes[kMost];
    const std::size_t n = text.size();
    const char* t = text.data();
    while (state == St::kData && collect == nullptr && pos >= blocks_from && !ForeignContent() &&
           n - pos >= MarkupBlocks::kBlock + MarkupBlocks::kAfter &&
           offset >= pos + MarkupBlocks::kBlock) {
      const std::size_t from = pos;
      // Short readings after a stop: a page that stops them often wastes
      // little reading ahead.
      const std::size_t limit =
          std::min({offset, n - MarkupBlocks::kAfter, from + tree_blocks * MarkupBlocks::kBlock});
      MarkupBlocks::Marks marks{opens, closes};
      const MarkupBlocks::Result r =
          kSkimBlocks.Read(t, from, limit, MarkupBlocks::Vectors::kWidest, &marks);
      if (!TreeTakes(marks, from)) {
        // Left to Step() at pos: blocks again past it.
        BlocksReadTo(from, pos, pos, false);
        tree_blocks = 2;
        return;
      }
      const bool limited = r.stop == MarkupBlocks::Stop::kLimit;
      // Read to the limit, the blocks go on from the last boundary.
      BlocksReadTo(from, pos, limited ? pos : r.stopped, limited);
      tree_blocks = limited ? std::min(2 * tree_blocks, kMost) : 2;
      if (!limited || pos == from) return;
    }
  }
  std::size_t tree_blocks = 2;
  // The tags and character data of the blocks read from `from`, up to the
  // last boundary they mark or the first piece left to Step(). False there.
  bool TreeTakes(const MarkupBlocks::Marks& marks, std::size_t from) {
    std::size_t lt = MarkupBlocks::kNone;  // the '<' of the tag being read
    for (std::size_t i = 0; i < marks.blocks; ++i) {
      const std::size_t b = from + i * MarkupBlocks::kBlock;
      std::uint64_t o = marks.opens[i], c = marks.closes[i];
      for (;;) {
        if (lt == MarkupBlocks::kNone) {
          if (o == 0) break;
          const std::size_t at = b + static_cast<std::size_t>(__builtin_ctzll(o));
          o &= o - 1;
          if (at > pos) {
            if (!QuietText(at)) return false;
            Characters(at);
          }
          lt = at;
          continue;
        }
        if (c == 0) break;
        const std::size_t gt = b + static_cast<std::size_t>(__builtin_ctzll(c));
        c &= c - 1;
        TakeTag(lt, gt);
        lt = MarkupBlocks::kNone;
        if (state != St::kData || ForeignContent()) return false;
      }
    }
    return true;
  }
  // Whether Characters, given [pos, end), would only make it a segment.
  bool QuietText(std::size_t end) const {
    return BodyTakesText() || SpaceEnd(pos, end) == end;
  }
  // The tag from the '<' at `lt` to the '>' at `gt`.
  void TakeTag(std::size_t lt, std::size_t gt) {
    const bool is_end = text[lt + 1] == '/';
    if (is_end && ClosesTop(lt, gt)) return;
    pos = lt;
    BeginTag(lt + (is_end ? 2 : 1), is_end, gt);
  }

  // Whether the end tag from `lt` to `gt` names the innermost element where
  // that element's end tag closes just it (EndTag's first rule), which it
  // then does, told by comparing the name with the element's rather than
  // by looking it up. The tag's name is not kept.
  bool ClosesTop(std::size_t lt, std::size_t gt) {
    if (stack.empty() || overflow != 0 || (mode != Mode::kInBody && templates == 0)) return false;
    const Node& top = stack.back();
    if (top.foreign || (kFlags[Index(top.id)] & kPlainEnd) == 0) return false;
    const std::string_view name = top.Name();
    const std::size_t end = lt + 2 + name.size();
    if (end > gt || !EndsName(text[end]) || !StartsWithNoCase(text, lt + 2, name)) return false;
    end_tag = true;
    tag_id = top.id;
    tag_begin = lt;
    tag_name_end = end;
    pos = gt + 1;
    ++tags_closed;
    Pop();
    return true;
  }

  // With the tree and no helper: steps on until `offset` lies in the
  // segment classified.
  void ReadOn(std::size_t offset) {
    while (offset >= seg_end && pos < text.size()) {
      if (blocks && state == St::kData) TreePast(offset);
      Step();
    }
  }

  // Classifies the next segment. Inlined into each loop that steps: as a
  // call of its own, it costs every segment of the page a call more.
  [[gnu::always_inline]] void Step() {
    switch (state) {
      case St::kData:
        return StepData();
      case St::kRcdata:
      case St::kRawtext:
      case St::kScript:
        return StepRaw();
      case St::kPlaintext:
        return EmitContent(text.size(), Current());
      default:
        // Inside a tag the page ends in: the walk read it to the end.
        pos = text.size();
        return;
    }
  }
};

// The helper of ContextScanner::Ahead. Its copies are made at the ends of
// its segments, in page order; the scanner's thread reads those published.
struct ContextScanner::Helper {
  struct Copy {
    std::size_t pos;
    std::unique_ptr<Impl> state;
  };

  Helper(std::string_view text, const Ahead& ahead)
      : every(std::max<std::size_t>(1, ahead.every)), watch(ahead.from) {
    if (ahead.on_thread) {
      thread = std::thread([this, text, ahead] { RunToEnd(text, ahead.from, ahead.blocks); });
    } else {
      RunToEnd(text, ahead.from, ahead.blocks);
    }
  }
  ~Helper() {
    stop.store(true, std::memory_order_relaxed);
    if (thread.joinable()) thread.join();
  }

  void RunToEnd(std::string_view text, std::size_t from, bool blocks) {
    try {
      Run(text, from, blocks);
    } catch (const std::bad_alloc&) {
      // No memory for another copy: the scanner reads on from the last one.
    }
    std::lock_guard lock(mutex);
    done = true;
    published.notify_all();
  }

  void Run(std::string_view text, std::size_t from, bool blocks) {
    // The guess: the state the page's own start leads to where the body
    // opens with nothing else open, as it does in most pages; then on at
    // the first "<" from `from`.
    Impl guess(text);
    guess.blocks = guess.blocks && blocks;
    while (guess.pos < std::min({from, text.size(), kGuessBytes}) &&
           !(guess.mode == Mode::kInBody && guess.stack.size() <= 2 && guess.state == St::kData))
      guess.Step();
    if (guess.state != St::kData || from >= text.size()) return;
    const std::size_t lt = text.find('<', std::max(from, guess.pos));
    if (lt == std::string_view::npos) return;
    guess.pos = lt;
    guess.seg_begin = guess.seg_end = lt;
    guess.data_text_end = std::string_view::npos;
    std::size_t next_copy = lt, kept = 0;
    while (guess.pos < text.size() && !stop.load(std::memory_order_relaxed)) {
      if (guess.pos >= next_copy && guess.seg_end == guess.pos) {
        // Each copy holds the open elements: a hostile page's deep ones end
        // the copying early, and the scanner reads the rest itself.
        kept += sizeof(Impl) + guess.stack.size() * sizeof(Node);
        for (const Node& n : guess.stack) kept += n.other.size();
        if (kept > kCopyBytes) return;
        auto state = std::make_unique<Impl>(guess);
        std::lock_guard lock(mutex);
        copies.push_back({guess.pos, std::move(state)});
        published.notify_all();
        next_copy = guess.pos + every;
      }
      if (guess.blocks && guess.state == St::kData) guess.TreePast(next_copy);
      guess.Step();
    }
  }

  // At the end of a segment at or past `watch`: compare with the copy
  // made at the same place, if one is published, or jump to the last copy
  // before `offset` once the states agreed (if `jump`); tells how far it
  // jumped. Runs on the scanner's thread.
  std::size_t Meet(Impl& s, std::size_t offset, bool jump) {
    std::unique_lock lock(mutex);
    if (!agreed) {
      while (next < copies.size() && copies[next].pos < s.pos) ++next;
      if (next < copies.size() && copies[next].pos == s.pos) {
        agreed = s.SameFuture(*copies[next].state);
        if (!agreed) ++next;
      }
      if (!agreed) {
        // Until the next copy, or, if none is published yet, a while.
        watch = next < copies.size() ? copies[next].pos : s.pos + every;
        return 0;
      }
    }
    // The states agreed: every copy from here on is one of the scanner's
    // own. Where the helper has not come near `offset` yet, waiting for it
    // leaves it the core that reading alongside it would take.
    watch = s.pos + every;
    if (!jump) return 0;
    published.wait(lock, [&] { return done || copies.back().pos + every > offset; });
    auto last = std::upper_bound(copies.begin(), copies.end(), offset,
                                 [](std::size_t at, const Copy& c) { return at < c.pos; });
    if (last == copies.begin()) return 0;
    const Copy& to = *std::prev(last);
    if (to.pos <= s.pos) return 0;
    const std::size_t jumped = to.pos - s.pos;
    s.TakeState(*to.state);
    return jumped;
  }

  static constexpr std::size_t kCopyBytes = std::size_t{8} << 20;    // held in copies, at most
  static constexpr std::size_t kGuessBytes = std::size_t{64} << 10;  // read for the guess, at most
  std::size_t every;
  std::size_t watch;     // the scanner's next place to meet the helper
  std::size_t next = 0;  // the first copy not yet compared
  bool agreed = false;
  bool done = false;  // the helper has stopped
  std::mutex mutex;
  std::condition_variable published;
  std::vector<Copy> copies;
  std::atomic<bool> stop{false};
  std::thread thread;  // last: it starts once the rest is built
};

ContextScanner::ContextScanner(std::string_view text) : impl_(std::make_unique<Impl>(text, true)) {}
ContextScanner::ContextScanner(std::string_view text, const Ahead& ahead)
    : impl_(std::make_unique<Impl>(text, ahead.from >= text.size() && ahead.skim)) {
  impl_->blocks = impl_->blocks && ahead.blocks;
  impl_->jumps = ahead.jumps;
  if (ahead.from >= text.size()) return;
  try {
    helper_ = std::make_unique<Helper>(text, ahead);
  } catch (const std::system_error&) {
    // No thread to spare: the scanner reads every byte itself.
  }
}
ContextScanner::~ContextScanner() = default;

std::size_t ContextScanner::bytes_read() const {
  return std::max(impl_->pos - jumped_, tree_ ? tree_->pos : 0);
}

// Steps on until `offset` lies in the segment classified, meeting the
// helper on the way; jumps only where `offset` is asked.
void ContextScanner::Advance(std::size_t offset, bool asked) {
  Impl& s = *impl_;
  if (s.skim) {
    while (offset >= s.seg_end && s.pos < s.text.size() && !s.skim_lost) {
      if (s.state == St::kData && s.skim_foreign.empty() && s.collect == nullptr) {
        if (s.jumps) jumped_ += s.JumpToward(offset);
        s.SkimPast(offset);
      }
      s.Step();
    }
    return;
  }
  if (helper_) {
    while (offset >= s.seg_end && s.pos < s.text.size()) {
      if (!asked && helper_->agreed) return;  // At jumps where it is asked
      // Never past the place to meet the helper at.
      if (s.blocks && s.state == St::kData && s.pos < helper_->watch)
        s.TreePast(std::min(offset, helper_->watch));
      if (s.pos >= helper_->watch && s.seg_end == s.pos) jumped_ += helper_->Meet(s, offset, asked);
      s.Step();
    }
    return;
  }
  s.ReadOn(offset);
}

void ContextScanner::ReadTo(std::size_t offset) {
  Advance(offset, false);
}

Place ContextScanner::At(std::size_t offset) {
  Impl* with_tree = impl_.get();
  if (impl_->skim) {
    if (std::optional<Place> place = TagPlaceAt(offset)) return *std::move(place);
    // A place the tokenizer alone cannot tell: the page again from its
    // start, with the tree. Asked only for tags, most pages never come here;
    // the places of tags after it are still told without the tree.
    if (!tree_) {
      tree_ = std::make_unique<Impl>(impl_->text);
      tree_->blocks = impl_->blocks;
    }
    with_tree = tree_.get();
    with_tree->ReadOn(offset);
  } else {
    Advance(offset, true);
  }
  Impl& s = *with_tree;
  // Past the end of the page: the place of its last byte, as for any other
  // segment.
  if (s.seg_in_tag)
    return Place{s.TagPartAt(std::min(offset, s.seg_end - 1)), std::string(s.seg_element)};
  return Place{s.seg_context, std::string(s.seg_element)};
}

std::optional<Place> ContextScanner::TagPlaceAt(std::size_t offset) {
  Advance(offset, true);
  Impl& s = *impl_;
  if (!s.seg_in_tag || s.skim_lost || offset < s.seg_begin) return std::nullopt;
  return Place{s.TagPartAt(std::min(offset, s.seg_end - 1)), std::string(s.seg_element)};
}

// ---- tags, for element rules ----
// Collected by the scanner's own walk over each tag, so that what counts as
// a tag is exactly what the context scanner says is one.

namespace {

// The character references attribute values commonly carry; others stay as
// written. Into `out`, whose memory is kept from tag to tag.
void DecodeValue(std::string_view v, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < v.size();) {
    if (v[i] != '&') {
      out += v[i++];
      continue;
    }
    const std::size_t semi = v.find(';', i + 1);
    if (semi == std::string_view::npos || semi - i > 10) {
      out += v[i++];
      continue;
    }
    const std::string_view ref = v.substr(i + 1, semi - i - 1);
    unsigned long code = 0;
    bool ok = true;
    if (ref == "amp") {
      code = '&';
    } else if (ref == "quot") {
      code = '"';
    } else if (ref == "apos") {
      code = '\'';
    } else if (ref == "lt") {
      code = '<';
    } else if (ref == "gt") {
      code = '>';
    } else if (ref.size() >= 2 && ref[0] == '#') {
      const bool hex = ref[1] == 'x' || ref[1] == 'X';
      for (std::size_t k = hex ? 2 : 1; k < ref.size() && ok; ++k) {
        const char c = ref[k];
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        ok = d >= 0 && code < 0x110000;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(d);
      }
      ok = ok && ref.size() > (hex ? 2u : 1u) && code < 0x80 && code != 0;
    } else {
      ok = false;
    }
    if (!ok) {
      out += v[i++];
      continue;
    }
    out += static_cast<char>(code);  // ASCII only: others stay as written
    i = semi + 1;
  }
}

}  // namespace

void ContextScanner::Impl::Collect(std::size_t from, std::size_t to, Context context) {
  if (end_tag) return;  // an end tag's attributes are dropped
  Tag& tag = *collect;
  if (context == Context::AttributeName) {
    const std::string_view name = text.substr(from, std::min(to - from, kMaxName));
    collect_duplicate = tag.attributes.size() >= TagReader::kMaxAttributes;
    for (const TagAttribute& a : tag.attributes) {
      if (a.name.size() == name.size() && StartsWithNoCase(a.name, 0, name))
        collect_duplicate = true;
    }
    if (!collect_duplicate) tag.attributes.push_back({name, {}});
    return;
  }
  if (collect_duplicate || tag.attributes.empty()) return;
  std::string_view v = text.substr(from, to - from);
  if (!v.empty() && (v.front() == '"' || v.front() == '\'')) {
    const char q = v.front();
    v.remove_prefix(1);
    if (!v.empty() && v.back() == q) v.remove_suffix(1);
  }
  v = v.substr(0, TagReader::kMaxAttributeValue);
  if (v.find('&') != std::string_view::npos) {
    // The deque keeps each string where it is as it grows, and its strings'
    // memory from tag to tag.
    if (tag.decoded_used == tag.decoded.size()) tag.decoded.emplace_back();
    std::string& out = tag.decoded[tag.decoded_used++];
    DecodeValue(v, out);
    v = out;
  }
  tag.attributes.back().value = v;
}

const std::string_view* Tag::Attribute(std::string_view name) const {
  for (const TagAttribute& a : attributes) {
    if (a.name.size() == name.size() && StartsWithNoCase(a.name, 0, name)) return &a.value;
  }
  return nullptr;
}

// Tags are told with the tree's say in which of them are tags.
TagReader::TagReader(std::string_view text)
    : scanner_(std::make_unique<ContextScanner>(text, [] {
        ContextScanner::Ahead with_tree;
        with_tree.skim = false;
        return with_tree;
      }())) {}
TagReader::~TagReader() = default;

bool TagReader::Next(Tag& tag) {
  ContextScanner::Impl& s = *scanner_->impl_;
  s.collect = &tag;
  const std::size_t before = s.tags_closed;
  while (s.pos < s.text.size()) {
    // Each tag begun is collected afresh; one the page ends inside is none.
    tag.attributes.clear();
    tag.decoded_used = 0;
    s.collect_duplicate = false;
    s.Step();
    if (s.tags_closed != before) {
      tag.offset = s.tag_begin;
      tag.length = s.seg_end - s.tag_begin;
      tag.end = s.end_tag;
      tag.name = s.TagName();
      s.collect = nullptr;
      return true;
    }
  }
  s.collect = nullptr;
  return false;
}

}  // namespace vx::app::check
