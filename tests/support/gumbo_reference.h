#pragma once

// The reference the context scanner is held to: gumbo's parse tree of a
// page, read back onto the page's bytes. Start tags map through
// original_tag and their attributes' name and value spans, end tags through
// original_end_tag, character data through its text node (by the parent:
// script, style or text), comments through original_text ("<!--" ones are
// comments, "<?", "<!x" and "</ x" ones bogus, so other), CDATA to other.
// Bytes no node accounts for (the doctype, tags the tree builder dropped,
// the attributes gumbo dropped as duplicates) have no reference place.

#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/html_context.h"

namespace vx::support {

// What gumbo did to a node's place that the scanner does not follow: the
// tree builder's reparenting of misnested markup.
inline constexpr unsigned kGumboMoved =
    GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT | GUMBO_INSERTION_ADOPTION_AGENCY_CLONED |
    GUMBO_INSERTION_ADOPTION_AGENCY_MOVED | GUMBO_INSERTION_FOSTER_PARENTED;

// Character data that runs up to "</form>": gumbo takes the form off its
// stack before it places the pending text, which so lands in the form's
// parent, together with the white space after the end tag.
inline constexpr unsigned kGumboTextBeforeFormEnd = 1u << 31;

// From the first end tag that gumbo let close an element of another name
// on: gumbo closes the nearest element it does not know at the end tag of
// any name it does not know ("<foo>x</bar>"), which a browser ignores.
inline constexpr unsigned kGumboAfterUnknownEndTag = 1u << 30;

// From the first node gumbo moved on (kGumboMoved): its open elements
// differ from the page's own nesting from there.
inline constexpr unsigned kGumboAfterMoved = 1u << 29;

// From the first frameset on: frameset documents, which hold no body, are
// left to gumbo.
inline constexpr unsigned kGumboAfterFrameset = 1u << 26;

// From the first template on: the insertion modes of a template's content
// (a table's parts, a frame... opened directly in a template) are gumbo's.
inline constexpr unsigned kGumboAfterTemplate = 1u << 25;

// From the first noscript start tag on: gumbo parses the markup in it, as a
// browser without scripting does, so where it ends and what is open after it
// can differ.
inline constexpr unsigned kGumboInNoscript = 1u << 28;

// From the first svg or MathML element named like one of the elements that
// decide the insertion mode (html, head, body, table, tr, td, select...), or
// the first head or body gumbo implied outside the root html element:
// resetting its insertion mode, gumbo takes such an element for the HTML one
// (a foreign html for the root, and then opens a second body inside it).
inline constexpr unsigned kGumboAfterStrayBody = 1u << 27;

struct ReferencePlace {
  app::check::Context context;
  std::string element;
  // Parse flags of the node that holds the byte and of its ancestors.
  unsigned flags = 0;
  int depth = 0;  // of the element named, counting html as 1
};

class GumboReference {
 public:
  explicit GumboReference(std::string_view text) : text_(text), owner_(text.size(), kNone) {
    output_ = gumbo_parse_with_options(&kGumboDefaultOptions, text.data(), text.size());
    if (output_ == nullptr) throw std::runtime_error("gumbo could not parse the page");
    Walk(output_->document, Entry{"", 0, 0});
  }
  ~GumboReference() { gumbo_destroy_output(&kGumboDefaultOptions, output_); }
  GumboReference(const GumboReference&) = delete;
  GumboReference& operator=(const GumboReference&) = delete;

  // The place gumbo gives the byte at `offset`, if it gives one.
  std::optional<ReferencePlace> At(std::size_t offset) const {
    if (offset >= owner_.size() || owner_[offset] == kNone) return std::nullopt;
    const Paint& p = paints_[owner_[offset]];
    const Entry& e = entries_[p.entry];
    unsigned after = (offset >= unknown_end_from_ ? kGumboAfterUnknownEndTag : 0u) |
                     (offset >= moved_from_ ? kGumboAfterMoved : 0u);
    if (offset >= noscript_from_) after |= kGumboInNoscript;
    if (offset >= stray_body_from_) after |= kGumboAfterStrayBody;
    if (offset >= frameset_from_) after |= kGumboAfterFrameset;
    if (offset >= template_from_) after |= kGumboAfterTemplate;
    return ReferencePlace{p.context, e.name, e.flags | after, e.depth};
  }

  // Whether the tree builder moved any node (see kGumboMoved).
  bool AnyMoved() const { return moved_; }

 private:
  static constexpr std::uint32_t kNone = 0xffffffffu;
  struct Entry {
    std::string name;
    unsigned flags;
    int depth;
    bool foreign = false;  // an svg or math element
  };
  struct Paint {
    app::check::Context context;
    std::uint32_t entry;
  };

  static char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
  static bool IsSpace(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f';
  }
  static bool EndsName(char c) { return IsSpace(c) || c == '/' || c == '>'; }

  std::size_t OffsetOf(const char* p) const { return static_cast<std::size_t>(p - text_.data()); }
  // Where a tag's own text starts: gumbo counts a dropped "</>" before it
  // as part of it.
  std::size_t TagBegin(const GumboStringPiece& tag) const {
    std::size_t at = OffsetOf(tag.data);
    const std::size_t end = at + tag.length;
    while (end - at > 3 && text_.substr(at, 3) == "</>") at += 3;
    return at;
  }

  // "<name" or "</name" at `at`: the name's end.
  std::size_t TagNameEnd(std::size_t at) const {
    std::size_t i = at + 1;
    if (i < text_.size() && text_[i] == '/') ++i;
    while (i < text_.size() && !EndsName(text_[i])) ++i;
    return i;
  }
  std::string TagName(std::size_t at) const {
    std::size_t i = at + 1;
    if (i < text_.size() && text_[i] == '/') ++i;
    std::string name;
    for (const std::size_t end = TagNameEnd(at); i < end; ++i) name.push_back(Lower(text_[i]));
    return name;
  }
  std::string NodeName(const GumboNode* node) const {
    const GumboElement& e = node->v.element;
    if (e.original_tag.length > 1) return TagName(TagBegin(e.original_tag));
    std::string name = gumbo_normalized_tagname(e.tag);
    for (char& c : name) c = Lower(c);
    return name;
  }

  void PaintSpan(std::size_t begin, std::size_t end, app::check::Context context,
                 std::uint32_t entry) {
    const auto index = static_cast<std::uint32_t>(paints_.size());
    paints_.push_back(Paint{context, entry});
    for (std::size_t i = begin; i < end && i < owner_.size(); ++i) owner_[i] = index;
  }
  void Unpaint(std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end && i < owner_.size(); ++i) owner_[i] = kNone;
  }
  std::uint32_t AddEntry(Entry e) {
    entries_.push_back(std::move(e));
    return static_cast<std::uint32_t>(entries_.size() - 1);
  }

  static bool DecidesMode(std::string_view name) {
    for (std::string_view n :
         {"html", "head", "body", "frameset", "table", "tbody", "thead", "tfoot", "tr", "td", "th",
          "caption", "colgroup", "select", "template"}) {
      if (name == n) return true;
    }
    return false;
  }

  static bool HoldsRawText(std::string_view name) {
    for (std::string_view raw : {"script", "style", "textarea", "title", "xmp", "iframe", "noembed",
                                 "noframes", "noscript", "plaintext"}) {
      if (name == raw) return true;
    }
    return false;
  }

  void StartTag(const GumboNode* node, std::uint32_t entry) {
    using app::check::Context;
    const GumboElement& e = node->v.element;
    const std::size_t begin = TagBegin(e.original_tag);
    const std::size_t end = OffsetOf(e.original_tag.data) + e.original_tag.length;
    PaintSpan(begin, end, Context::Tag, entry);
    // Between the name and the kept attributes (each with its '=' and value)
    // only spaces and '/' are tag; anything else is an attribute gumbo
    // dropped.
    std::vector<std::pair<std::size_t, std::size_t>> kept;
    for (unsigned i = 0; i < e.attributes.length; ++i) {
      const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
      std::size_t name_begin = OffsetOf(a->original_name.data);
      const std::size_t name_end = name_begin + a->original_name.length;
      // A name that starts with a NUL comes with the spaces and slashes
      // before it, which no name can start with.
      while (name_begin < name_end && (IsSpace(text_[name_begin]) || text_[name_begin] == '/')) {
        ++name_begin;
      }
      PaintSpan(name_begin, name_end, Context::AttributeName, entry);
      std::size_t attr_end = name_end;
      if (a->value_end.offset > a->value_start.offset &&
          a->original_value.data != a->original_name.data) {
        const std::size_t value_begin = OffsetOf(a->original_value.data);
        attr_end = value_begin + a->original_value.length;
        PaintSpan(value_begin, attr_end, Context::AttributeValue, entry);
      }
      kept.emplace_back(name_begin, attr_end);
    }
    std::size_t gap = text_[begin] == '<' ? TagNameEnd(begin) : begin;
    kept.emplace_back(end, end);
    for (const auto& [attr_begin, attr_end] : kept) {
      bool dropped = false;
      for (std::size_t i = gap; i < attr_begin && i + 1 < end; ++i) {
        if (!IsSpace(text_[i]) && text_[i] != '/') dropped = true;
      }
      if (dropped) Unpaint(gap, std::min(attr_begin, end - 1));
      gap = std::max(gap, attr_end);
    }
  }

  // Whether NULs, right after a "<![CDATA[", come just before `at` (with
  // the CRs that a CR LF drops among them).
  bool AfterCdataNuls(std::size_t at) const {
    std::size_t open = at;
    bool nul = false;
    while (open > 0 && (text_[open - 1] == '\0' || text_[open - 1] == '\r')) {
      nul |= text_[open - 1] == '\0';
      --open;
    }
    return nul && open >= 9 && text_.substr(open - 9, 9) == "<![CDATA[";
  }

  // Character data of `parent` over [begin, end).
  void PaintText(std::size_t begin, std::size_t end, const Entry& parent, unsigned flags) {
    using app::check::Context;
    const Context context = parent.name == "script"  ? Context::Script
                            : parent.name == "style" ? Context::Style
                                                     : Context::Text;
    for (std::size_t lt = text_.find("</", begin); lt != std::string_view::npos && lt < end;
         lt = text_.find("</", lt + 1)) {
      if (TagName(lt) == "form") flags |= kGumboTextBeforeFormEnd;
    }
    PaintSpan(begin, end, context, AddEntry(Entry{parent.name, flags, parent.depth}));
    // A text node runs on over the tags the tree builder dropped inside it;
    // from the first of them on it tells nothing.
    if (parent.foreign || !HoldsRawText(parent.name)) {
      for (std::size_t i = begin; i + 1 < end; ++i) {
        const char c = text_[i + 1];
        const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
        if (text_[i] == '<' && (letter || c == '/' || c == '!' || c == '?')) {
          Unpaint(i, end);
          break;
        }
      }
    }
  }

  void Walk(const GumboNode* node, const Entry& parent) {
    using app::check::Context;
    const unsigned flags = parent.flags | node->parse_flags;
    if ((node->parse_flags & kGumboMoved) != 0) {
      moved_ = true;
      std::size_t at = node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE
                           ? node->v.element.start_pos.offset
                           : node->v.text.start_pos.offset;
      if (node->type == GUMBO_NODE_ELEMENT && node->v.element.original_tag.length > 0) {
        at = std::min(at, OffsetOf(node->v.element.original_tag.data));
      }
      moved_from_ = std::min(moved_from_, at);
    }
    switch (node->type) {
      case GUMBO_NODE_DOCUMENT: {
        const GumboVector& children = node->v.document.children;
        for (unsigned i = 0; i < children.length; ++i) {
          Walk(static_cast<const GumboNode*>(children.data[i]), parent);
        }
        return;
      }
      case GUMBO_NODE_ELEMENT:
      case GUMBO_NODE_TEMPLATE: {
        const GumboElement& e = node->v.element;
        Entry self{NodeName(node), flags, parent.depth + 1,
                   e.tag_namespace != GUMBO_NAMESPACE_HTML};
        const std::uint32_t entry = AddEntry(self);
        if (e.original_tag.length > 0) StartTag(node, entry);
        if ((e.tag == GUMBO_TAG_HEAD || e.tag == GUMBO_TAG_BODY) && e.original_tag.length == 0 &&
            node->parent != nullptr && node->parent->parent != nullptr &&
            node->parent->parent->type != GUMBO_NODE_DOCUMENT) {
          stray_body_from_ = std::min<std::size_t>(stray_body_from_, e.start_pos.offset);
        }
        if (e.tag_namespace != GUMBO_NAMESPACE_HTML && e.original_tag.length > 0 &&
            DecidesMode(self.name)) {
          stray_body_from_ = std::min(stray_body_from_, OffsetOf(e.original_tag.data));
        }
        if (node->type == GUMBO_NODE_TEMPLATE && e.original_tag.length > 0) {
          template_from_ = std::min(template_from_, OffsetOf(e.original_tag.data));
        }
        if (e.tag == GUMBO_TAG_FRAMESET && e.original_tag.length > 0) {
          frameset_from_ = std::min(frameset_from_, OffsetOf(e.original_tag.data));
        }
        if (e.tag == GUMBO_TAG_NOSCRIPT && e.original_tag.length > 0) {
          noscript_from_ = std::min(noscript_from_, OffsetOf(e.original_tag.data));
        }
        for (unsigned i = 0; i < e.children.length; ++i) {
          Walk(static_cast<const GumboNode*>(e.children.data[i]), self);
        }
        if (e.original_end_tag.length > 0) {
          const std::size_t begin = TagBegin(e.original_end_tag);
          std::string end_name = TagName(begin);
          if (e.tag == GUMBO_TAG_UNKNOWN && end_name != self.name &&
              gumbo_tagn_enum(end_name.data(), static_cast<unsigned>(end_name.size())) ==
                  GUMBO_TAG_UNKNOWN) {
            unknown_end_from_ = std::min(unknown_end_from_, begin);
          }
          const std::uint32_t end_entry = AddEntry(Entry{std::move(end_name), flags, self.depth});
          PaintSpan(begin, OffsetOf(e.original_end_tag.data) + e.original_end_tag.length,
                    Context::Tag, end_entry);
        }
        return;
      }
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_WHITESPACE: {
        const GumboText& t = node->v.text;
        if (t.original_text.length == 0) return;
        const std::size_t begin = OffsetOf(t.original_text.data);
        const std::size_t end = begin + t.original_text.length;
        PaintText(begin, end, parent, flags);
        // After NULs that open a CDATA section, gumbo starts a text node
        // with the section's first character and runs it on past "]]>":
        // that part is still the section's.
        if (parent.foreign && AfterCdataNuls(begin)) {
          const std::size_t close = text_.find("]]>", begin);
          const std::size_t stop = close == std::string_view::npos ? end : close + 3;
          PaintSpan(begin, std::min(end, stop), Context::Other,
                    AddEntry(Entry{parent.name, flags, parent.depth}));
        }
        return;
      }
      case GUMBO_NODE_COMMENT:
      case GUMBO_NODE_CDATA: {
        const GumboText& t = node->v.text;
        const std::size_t begin = TagBegin(t.original_text);
        const std::string_view original =
            text_.substr(begin, OffsetOf(t.original_text.data) + t.original_text.length - begin);
        const Context context = node->type == GUMBO_NODE_COMMENT && original.substr(0, 4) == "<!--"
                                    ? Context::Comment
                                    : Context::Other;
        PaintSpan(begin, begin + original.size(), context,
                  AddEntry(Entry{parent.name, flags, parent.depth}));
        // A CDATA node takes in the character data before it, and runs on
        // over what follows it up to the next node; one that starts after
        // the NULs opening its section takes in none.
        if (node->type == GUMBO_NODE_CDATA) {
          const std::size_t open = AfterCdataNuls(begin) ? 0 : original.find("<![CDATA[");
          if (open != std::string_view::npos && open > 0) {
            PaintText(begin, begin + open, parent, flags);
          }
          const std::size_t close = original.find("]]>");
          if (close != std::string_view::npos) Unpaint(begin + close + 3, begin + original.size());
          // A tag the tree builder dropped in the character data before the
          // section ("</l<![CDATA[>") hides where the section opens: from
          // that tag on the node tells nothing.
          for (std::size_t i = 0; i + 1 < open && open != std::string_view::npos; ++i) {
            const char c = original[i + 1];
            const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
            if (original[i] == '<' && (letter || c == '/' || c == '!' || c == '?')) {
              Unpaint(begin + i, begin + original.size());
              break;
            }
          }
        }
        return;
      }
    }
  }

  std::string_view text_;
  GumboOutput* output_ = nullptr;
  std::vector<std::uint32_t> owner_;  // per byte, an index into paints_
  std::vector<Paint> paints_;
  std::vector<Entry> entries_;
  bool moved_ = false;
  std::size_t unknown_end_from_ = static_cast<std::size_t>(-1);
  std::size_t moved_from_ = static_cast<std::size_t>(-1);
  std::size_t noscript_from_ = static_cast<std::size_t>(-1);
  std::size_t stray_body_from_ = static_cast<std::size_t>(-1);
  std::size_t frameset_from_ = static_cast<std::size_t>(-1);
  std::size_t template_from_ = static_cast<std::size_t>(-1);
};

}  // namespace vx::support
