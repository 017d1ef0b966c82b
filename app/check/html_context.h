// Where in the markup a byte of a page sits: in a tag, an attribute, a
// script, a comment, the visible text... by the HTML standard's tokenizer
// rules, so that a marker people only write about can be told from markup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx::app::check {

class MarkupBlocks;

enum class Context : std::uint8_t {
  // A start or end tag outside its attributes' names and values: "<" or "</",
  // the name ("<script" of <script src=x>), spaces, "=", "/" and ">".
  Tag,
  AttributeName,   // an attribute's name
  AttributeValue,  // an attribute's value, quotes included; a style attribute's value too
  Script,          // a script element's content
  Style,           // a style element's content
  Comment,         // a comment, "<!--" and "-->" included
  Text,            // character data, RCDATA (title, textarea) included
  Other,           // a doctype, a CDATA section, a bogus comment
};
inline constexpr std::size_t kContextCount = 8;

// "tag", "attribute-name", "attribute-value", "script", "style", "comment",
// "text", "other".
std::string_view ContextName(Context context);
std::optional<Context> ContextFromName(std::string_view name);

// The start tags (lower case) after which the tokenizer, reading without the
// tree, reads on otherwise or cannot follow on its own: script, style, title,
// textarea, svg, math, select and the like.
std::span<const std::string_view> SkimSwitchNames();
// What the scanner reads ordinary markup with between them, a block at a time.
const MarkupBlocks& SkimBlocks();

// A set of contexts, one bit each.
using ContextSet = std::uint32_t;
constexpr ContextSet Bit(Context c) {
  return ContextSet{1} << static_cast<unsigned>(c);
}

struct Place {
  Context context = Context::Text;
  // Lower case. For Tag and the attribute contexts the tag's own element;
  // otherwise the element whose content the byte is; "" at top level.
  std::string element;
};

// One pass over a page, asked in order: At(offset) advances the tokenizer to
// `offset` and tells where that byte sits. Offsets must not decrease from one
// call to the next (equal offsets are fine). Memory does not grow with the
// page, only with the depth of open elements (bounded). The text must stay
// valid while the scanner lives.
class ContextScanner {
 public:
  // For a large page on a machine with a core to spare: a helper reads the
  // page from `from` on, beside the scanner, starting from a guess at the
  // state there and keeping a copy of its state every `every` bytes. Once
  // the scanner, reaching one of those places, is in the very state the
  // helper was in, the helper's copies hold the scanner's own future, and
  // the scanner jumps to the last one before each offset asked instead of
  // reading up to it. The answers are the same either way.
  struct Ahead {
    std::size_t from = static_cast<std::size_t>(-1);  // none: no helper
    std::size_t every = std::size_t{1} << 16;
    // The helper reads to the end before the constructor returns, with no
    // thread of its own: the same answers, for tests.
    bool on_thread = true;
    // With no helper: tags are told by the tokenizer alone. A place asked
    // that needs the tree is told by a second reading of the page, with
    // it, which goes only as far as such places are asked. Off, the tree is
    // built from the first byte: the same answers.
    bool skim = true;
    // Skimming, ordinary markup is read a block of 64 bytes at a time where
    // the machine has the instructions for it. Off, piece by piece: the
    // same answers.
    bool blocks = true;
    // Skimming, a stretch before the offset asked in which nothing can
    // take the tokenizer out of the data state for long is jumped over, to
    // the last '>' after which it is surely in it. Off, read: the same
    // answers.
    bool jumps = true;
  };

  explicit ContextScanner(std::string_view text);
  ContextScanner(std::string_view text, const Ahead& ahead);
  ~ContextScanner();
  ContextScanner(const ContextScanner&) = delete;
  ContextScanner& operator=(const ContextScanner&) = delete;

  Place At(std::size_t offset);
  // The place of `offset` if it lies in a tag and the tokenizer alone can
  // tell it: as At would tell it, or nothing. Until the page holds a math
  // or select start tag, or svg content that hands a tag back to the HTML
  // rules, the tokenizer alone tells every tag. The same rule on offsets;
  // no tree is built for it, so a caller that asks for tags alone reads the
  // page at the tokenizer's speed.
  std::optional<Place> TagPlaceAt(std::size_t offset);
  // Reads on to `offset` before it is asked, as At does but telling
  // nothing; the same rule on offsets.
  void ReadTo(std::size_t offset);

  // How many of the page's bytes the scanner read itself, up to the last
  // offset asked: the rest it jumped over (for tests and benchmarks).
  std::size_t bytes_read() const;

 private:
  friend class TagReader;
  struct Impl;
  struct Helper;
  void Advance(std::size_t offset, bool asked);
  std::unique_ptr<Impl> impl_;
  std::unique_ptr<Impl> tree_;  // telling tags alone, the reading with the tree
  std::unique_ptr<Helper> helper_;
  std::size_t jumped_ = 0;  // bytes jumped over
};

// A tag as the tokenizer reads it: for element rules, which test names and
// attributes rather than bytes.
struct TagAttribute {
  std::string_view name;   // as written (compare without case)
  std::string_view value;  // quotes taken off, the common character references decoded
};
struct Tag {
  std::size_t offset = 0;  // of its "<"
  std::size_t length = 0;  // through its ">"
  bool end = false;        // an end tag (no attributes)
  std::string_view name;   // lower case; valid until the next tag is read
  // The first of each name, in order. Views into the page, or into
  // `decoded` for values with character references; valid until the next
  // tag is read.
  std::vector<TagAttribute> attributes;
  std::deque<std::string> decoded;  // kept from tag to tag, for their memory
  std::size_t decoded_used = 0;     // of `decoded`, by this tag

  // The value of the attribute `name` (lower case), or nullptr.
  const std::string_view* Attribute(std::string_view name) const;
};

// The tags of a page in order, by the same tokenizer rules as ContextScanner
// (so "<iframe" inside a script or a comment is no tag). Memory is bounded
// like the scanner's; attribute values are cut at kMaxAttributeValue bytes.
class TagReader {
 public:
  static constexpr std::size_t kMaxAttributes = 64;
  static constexpr std::size_t kMaxAttributeValue = 4096;

  explicit TagReader(std::string_view text);
  ~TagReader();
  TagReader(const TagReader&) = delete;
  TagReader& operator=(const TagReader&) = delete;

  // The next complete tag; false at the end of the page.
  bool Next(Tag& tag);

 private:
  std::unique_ptr<ContextScanner> scanner_;
};

}  // namespace vx::app::check
