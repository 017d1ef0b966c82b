#pragma once

// Runs the context scanner and the gumbo reference over a page at chosen
// offsets and sorts what they say: agreement, a documented exception, or a
// fault. Shared by the differential test and the fuzz target.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/html_context.h"
#include "app/rules.h"
#include "tests/support/gumbo_reference.h"

namespace vx::support {

// Where the scanner knowingly parts from gumbo's tree. Each is counted.
enum class ContextException {
  kNone,
  // Gumbo reparented the node: a formatting element reopened after a block
  // closed it, the adoption of misnested formatting elements, or character
  // data placed before a table; and everything after the first such move,
  // as the open elements differ from there. The scanner names the innermost
  // element the page itself left open. Element; after the first move also
  // context, as foreign content and raw text can open or close differently.
  kMoved,
  // Deeper than the scanner keeps open elements (1,024). Element only.
  kDeep,
  // Inside noscript the scanner reads raw text, as a browser with scripting
  // does; gumbo parses the markup in it. From the first noscript on
  // (kGumboInNoscript), as the two can end it in different places. Context
  // and element.
  kNoscript,
  // Character data just before "</form>", which gumbo places in the form's
  // parent (kGumboTextBeforeFormEnd). Element only.
  kBeforeFormEnd,
  // After an end tag of a name gumbo does not know closed an element of
  // another unknown name (kGumboAfterUnknownEndTag). Context and element.
  kUnknownEndTag,
  // An element name longer than the scanner keeps (256 bytes) is cut.
  // Element only.
  kLongName,
  // After an svg or MathML element named like an element that decides the
  // insertion mode, or a head or body gumbo implied outside the root html
  // (kGumboAfterStrayBody): gumbo takes the one for the other. Context and
  // element.
  kStrayBody,
  // Frameset documents, from the first frameset on (kGumboAfterFrameset):
  // the scanner does not follow the frameset insertion modes. Context and
  // element.
  kFrameset,
  // From the first template on (kGumboAfterTemplate): the scanner reads a
  // template's content as a body's, without the insertion modes a table's
  // parts or a frame directly in a template take. Context and element.
  kTemplate,
};
inline constexpr std::size_t kExceptionKinds = 10;

inline std::string_view ExceptionName(ContextException e) {
  constexpr std::array<std::string_view, kExceptionKinds> names = {
      "none",      "moved",      "deep",     "noscript", "before-form-end", "unknown-end-tag",
      "long-name", "stray-body", "frameset", "template"};
  return names[static_cast<std::size_t>(e)];
}

struct ContextDisagreement {
  std::size_t offset;
  app::check::Place ours;
  ReferencePlace reference;
};

struct ContextTally {
  std::size_t asked = 0;     // offsets asked
  std::size_t compared = 0;  // of those, offsets gumbo gives a place for
  std::size_t context_agree = 0;
  std::size_t element_agree = 0;
  std::array<std::size_t, kExceptionKinds> exceptions{};
  std::vector<ContextDisagreement> faults;  // the first few unexplained ones
  std::size_t fault_count = 0;
  // A scanner asked for tags alone (TagPlaceAt) at the same offsets: where
  // the scanner with its tree says a tag's context, how often it told a
  // place; and the offsets where what it told differs (none may).
  std::size_t tag_places = 0;
  std::size_t tag_told = 0;
  std::vector<std::size_t> tag_faults;
  // Scanners with the tree asked far apart: where an answer differs from
  // the one asked at every offset (none may).
  std::vector<std::size_t> far_faults;

  void Add(const ContextTally& o) {
    asked += o.asked;
    compared += o.compared;
    context_agree += o.context_agree;
    element_agree += o.element_agree;
    for (std::size_t i = 0; i < kExceptionKinds; ++i) exceptions[i] += o.exceptions[i];
    fault_count += o.fault_count;
    tag_places += o.tag_places;
    tag_told += o.tag_told;
    tag_faults.insert(tag_faults.end(), o.tag_faults.begin(), o.tag_faults.end());
    far_faults.insert(far_faults.end(), o.far_faults.begin(), o.far_faults.end());
    for (const auto& f : o.faults) {
      if (faults.size() < 20) faults.push_back(f);
    }
  }
};

// The offsets a check cares about: every occurrence of a rule's marker form,
// every '<', and every `stride`th byte; sorted, each once.
inline std::vector<std::size_t> InterestingOffsets(std::string_view page, std::size_t stride) {
  std::vector<std::size_t> offsets;
  for (const app::DetectionRule& rule : app::kRuleTable) {
    for (const std::string& form : app::RuleForms(rule)) {
      for (std::size_t at = page.find(form); at != std::string_view::npos;
           at = page.find(form, at + 1)) {
        // The marker's first and last byte.
        offsets.push_back(at);
        offsets.push_back(at + form.size() - 1);
      }
    }
  }
  for (std::size_t at = page.find('<'); at != std::string_view::npos; at = page.find('<', at + 1)) {
    offsets.push_back(at);
  }
  for (std::size_t at = 0; stride > 0 && at < page.size(); at += stride) offsets.push_back(at);
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  return offsets;
}

inline ContextException ExceptionFor(const app::check::Place& ours, const ReferencePlace& ref,
                                     bool context_differs) {
  if (ours.element == "noscript" || (ref.flags & kGumboInNoscript) != 0) {
    return ContextException::kNoscript;
  }
  // Once gumbo has closed elements the page never closed, its tree can
  // differ in what opens raw text or foreign content too.
  if ((ref.flags & kGumboAfterUnknownEndTag) != 0) return ContextException::kUnknownEndTag;
  if ((ref.flags & kGumboAfterMoved) != 0) return ContextException::kMoved;
  if ((ref.flags & kGumboAfterStrayBody) != 0) return ContextException::kStrayBody;
  if ((ref.flags & kGumboAfterFrameset) != 0) return ContextException::kFrameset;
  if ((ref.flags & kGumboAfterTemplate) != 0) return ContextException::kTemplate;
  if (context_differs) return ContextException::kNone;
  if (ours.element.size() == 256 && ref.element.size() > 256 &&
      ref.element.compare(0, 256, ours.element) == 0) {
    return ContextException::kLongName;
  }
  if ((ref.flags & (kGumboMoved | kGumboAfterMoved)) != 0) return ContextException::kMoved;
  if ((ref.flags & kGumboTextBeforeFormEnd) != 0) return ContextException::kBeforeFormEnd;
  if (ref.depth > 1024) return ContextException::kDeep;
  return ContextException::kNone;
}

inline ContextTally CompareContexts(std::string_view page,
                                    const std::vector<std::size_t>& offsets) {
  ContextTally tally;
  const GumboReference reference(page);
  // With its tree from the first byte.
  app::check::ContextScanner::Ahead with_tree;
  with_tree.skim = false;
  app::check::ContextScanner scanner(page, with_tree);
  app::check::ContextScanner tags(page);
  // Asked far apart, as a check asks at its markers: it reads past whole
  // runs of markup unasked (a block at a time).
  app::check::ContextScanner far_apart(page);
  // And so with the tree from the first byte, and with it taken up when a
  // place needs it: both read past whole runs with the tree too.
  app::check::ContextScanner far_with_tree(page, with_tree);
  app::check::ContextScanner far_both(page);
  std::size_t next_far = 0;
  for (const std::size_t offset : offsets) {
    ++tally.asked;
    const app::check::Place ours = scanner.At(offset);
    using app::check::Context;
    const std::optional<app::check::Place> told = tags.TagPlaceAt(offset);
    tally.tag_places += ours.context == Context::Tag || ours.context == Context::AttributeName ||
                        ours.context == Context::AttributeValue;
    tally.tag_told += told.has_value();
    if (told && (told->context != ours.context || told->element != ours.element))
      tally.tag_faults.push_back(offset);
    if (offset >= next_far) {
      next_far = offset + 700;
      const std::optional<app::check::Place> far = far_apart.TagPlaceAt(offset);
      if (far.has_value() != told.has_value() ||
          (far && (far->context != ours.context || far->element != ours.element)))
        tally.tag_faults.push_back(offset);
      for (app::check::ContextScanner* far_scanner : {&far_with_tree, &far_both}) {
        const app::check::Place p = far_scanner->At(offset);
        if (p.context != ours.context || p.element != ours.element)
          tally.far_faults.push_back(offset);
      }
    }
    const std::optional<ReferencePlace> ref = reference.At(offset);
    if (!ref) continue;
    ++tally.compared;
    const bool context_ok = ours.context == ref->context;
    const bool element_ok = ours.element == ref->element;
    tally.context_agree += context_ok;
    tally.element_agree += element_ok;
    if (context_ok && element_ok) continue;
    const ContextException e = ExceptionFor(ours, *ref, !context_ok);
    ++tally.exceptions[static_cast<std::size_t>(e)];
    if (e != ContextException::kNone) continue;
    ++tally.fault_count;
    if (tally.faults.size() < 20) tally.faults.push_back({offset, ours, *ref});
  }
  return tally;
}

// A disagreement told with the bytes around it.
inline std::string Describe(std::string_view page, const ContextDisagreement& d) {
  const std::size_t from = d.offset < 40 ? 0 : d.offset - 40;
  std::string around(page.substr(from, 80));
  for (char& c : around) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return "at " + std::to_string(d.offset) + ": ours " +
         std::string(app::check::ContextName(d.ours.context)) + "/" + d.ours.element + ", gumbo " +
         std::string(app::check::ContextName(d.reference.context)) + "/" + d.reference.element +
         " in \"" + around + "\" (byte " + std::to_string(d.offset - from) + ")";
}

}  // namespace vx::support
