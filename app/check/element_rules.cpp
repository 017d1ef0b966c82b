#include "app/check/element_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <stdexcept>

#include "app/check/check.h"
#include "app/check/html_context.h"
#include "platform/base/ascii.h"

namespace vx::app::check {
namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

// Attributes whose values HTML compares without regard to case.
bool CaseBlindValue(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "accept-charset", "align",       "autocomplete", "charset",
      "checked",        "dir",         "disabled",     "enctype",
      "face",           "frameborder", "hidden",       "http-equiv",
      "lang",           "language",    "method",       "multiple",
      "nowrap",         "readonly",    "rel",          "rev",
      "scope",          "scrolling",   "selected",     "shape",
      "target",         "type",        "valign",       "valuetype"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

class SelectorParser {
 public:
  explicit SelectorParser(std::string_view text) : t_(text) {}

  std::vector<Selector> All() {
    std::vector<Selector> out;
    for (;;) {
      Spaces();
      Selector s;
      s.outer = CompoundAt(true, &s);
      out.push_back(std::move(s));
      Spaces();
      if (i_ >= t_.size()) break;
      if (t_[i_] != ',') Fail("expected \",\" between selectors");
      ++i_;
    }
    return out;
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    throw std::invalid_argument("bad selector \"" + std::string(t_) + "\" at character " +
                                std::to_string(i_ + 1) + ": " + why);
  }
  void Spaces() {
    while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n')) ++i_;
  }
  std::string Name() {
    const std::size_t from = i_;
    while (i_ < t_.size() && IsNameChar(t_[i_])) ++i_;
    return ascii::Lower(t_.substr(from, i_ - from));
  }
  bool Eat(std::string_view word) {
    if (t_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }

  AttributeTest Attribute() {
    // At "[".
    ++i_;
    Spaces();
    AttributeTest a;
    a.name = Name();
    if (a.name.empty()) Fail("an attribute name is missing");
    Spaces();
    if (i_ >= t_.size()) Fail("\"]\" is missing");
    if (t_[i_] != ']') {
      static constexpr std::pair<std::string_view, AttributeTest::Op> kOps[] = {
          {"^=", AttributeTest::Op::Prefix},
          {"$=", AttributeTest::Op::Suffix},
          {"*=", AttributeTest::Op::Contains},
          {"=", AttributeTest::Op::Equals}};
      bool found = false;
      for (const auto& [word, op] : kOps) {
        if (Eat(word)) {
          a.op = op;
          found = true;
          break;
        }
      }
      if (!found) Fail("expected =, ^=, $=, *= or \"]\"");
      Spaces();
      if (i_ < t_.size() && (t_[i_] == '"' || t_[i_] == '\'')) {
        const char q = t_[i_++];
        const std::size_t close = t_.find(q, i_);
        if (close == std::string_view::npos) Fail("the quoted value is not closed");
        a.value = std::string(t_.substr(i_, close - i_));
        i_ = close + 1;
      } else {
        const std::size_t from = i_;
        while (i_ < t_.size() && IsNameChar(t_[i_])) ++i_;
        a.value = std::string(t_.substr(from, i_ - from));
        if (a.value.empty()) Fail("a value is missing (quote it when it is not a plain word)");
      }
      // An empty value that must start, end or be contained matches nothing
      // in a browser: refused, as it is surely a slip.
      if (a.value.empty() && a.op != AttributeTest::Op::Equals) Fail("the value is empty");
      if (CaseBlindValue(a.name)) a.value = ascii::Lower(a.value);
      Spaces();
    }
    if (!Eat("]")) Fail("\"]\" is missing");
    return a;
  }

  Compound CompoundAt(bool outer, Selector* selector) {
    Compound c;
    if (Eat("*")) {
    } else {
      c.element = Name();
    }
    bool any = !c.element.empty() || (i_ > 0 && t_[i_ - 1] == '*');
    for (;;) {
      if (i_ < t_.size() && t_[i_] == '[') {
        c.tests.push_back(Attribute());
      } else if (Eat(":not(")) {
        Spaces();
        if (i_ >= t_.size() || t_[i_] != '[') Fail(":not() takes an attribute test [...]");
        AttributeTest a = Attribute();
        a.negated = true;
        c.tests.push_back(std::move(a));
        Spaces();
        if (!Eat(")")) Fail("\")\" is missing after :not(");
      } else if (Eat(":has(")) {
        if (!outer || selector->has_inner) Fail(":has() is allowed once, and not inside itself");
        Spaces();
        selector->has_inner = true;
        selector->inner = CompoundAt(false, nullptr);
        Spaces();
        if (!Eat(")")) Fail("\")\" is missing after :has(");
      } else {
        break;
      }
      any = true;
    }
    if (!any) Fail(i_ >= t_.size() ? "a selector is missing" : "expected an element name or [");
    if (i_ < t_.size() && t_[i_] != ',' && t_[i_] != ' ' && t_[i_] != ')' && t_[i_] != '\t' &&
        t_[i_] != '\n')
      Fail(std::string("\"") + t_[i_] +
           "\" is not understood (names, [attribute tests], :not() and :has() only)");
    return c;
  }

  std::string_view t_;
  std::size_t i_ = 0;
};

// A selector's attribute test made ready for matching: whether its value
// compares without case is found once, not once a tag.
struct ReadyTest {
  std::string_view name;
  AttributeTest::Op op = AttributeTest::Op::Exists;
  std::string_view value;  // lower case already where blind
  bool negated = false;
  bool blind = false;
};
struct ReadyCompound {
  std::string_view element;  // "" for any
  std::vector<ReadyTest> tests;
};

ReadyCompound Ready(const Compound& c) {
  ReadyCompound r{c.element, {}};
  for (const AttributeTest& a : c.tests)
    r.tests.push_back({a.name, a.op, a.value, a.negated, CaseBlindValue(a.name)});
  return r;
}

// Whether `want` sits in `value` at `at`; `blind`: `want` is in lower case
// and `value` is compared without case.
bool SameAt(std::string_view value, std::size_t at, std::string_view want, bool blind) {
  if (!blind) return value.compare(at, want.size(), want) == 0;
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (ascii::ToLower(value[at + i]) != want[i]) return false;
  }
  return true;
}

bool TestHolds(const ReadyTest& a, const Tag& tag) {
  const std::string_view* v = tag.Attribute(a.name);
  bool holds = v != nullptr;
  if (v && a.op != AttributeTest::Op::Exists) {
    const std::string_view value = *v;
    const std::string_view want = a.value;
    const bool fits = value.size() >= want.size();
    switch (a.op) {
      case AttributeTest::Op::Equals:
        holds = value.size() == want.size() && SameAt(value, 0, want, a.blind);
        break;
      case AttributeTest::Op::Prefix:
        holds = fits && SameAt(value, 0, want, a.blind);
        break;
      case AttributeTest::Op::Suffix:
        holds = fits && SameAt(value, value.size() - want.size(), want, a.blind);
        break;
      case AttributeTest::Op::Contains:
        if (!a.blind) {
          holds = value.find(want) != std::string_view::npos;
          break;
        }
        holds = false;
        for (std::size_t at = 0; fits && at <= value.size() - want.size() && !holds; ++at)
          holds = SameAt(value, at, want, true);
        break;
      case AttributeTest::Op::Exists:
        break;
    }
  }
  return holds != a.negated;
}

bool Matches(const ReadyCompound& c, const Tag& tag) {
  if (!c.element.empty() && c.element != tag.name) return false;
  return std::all_of(c.tests.begin(), c.tests.end(),
                     [&](const ReadyTest& a) { return TestHolds(a, tag); });
}

std::string_view Trim(std::string_view v) {
  while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ') v.remove_prefix(1);
  while (!v.empty() && static_cast<unsigned char>(v.back()) <= ' ') v.remove_suffix(1);
  return v;
}

// The URL a tag loads, links or posts to: its element's own URL attribute
// ("" when that is missing: the page itself); for an element without one,
// the first of src, href, action and data; nullopt when it has none. A view
// into the tag's values.
std::optional<std::string_view> UrlOf(const Tag& tag) {
  static constexpr std::pair<std::string_view, std::string_view> kOwn[] = {
      {"script", "src"}, {"iframe", "src"}, {"frame", "src"},   {"img", "src"},    {"embed", "src"},
      {"audio", "src"},  {"video", "src"},  {"source", "src"},  {"a", "href"},     {"link", "href"},
      {"area", "href"},  {"base", "href"},  {"form", "action"}, {"object", "data"}};
  if (tag.name == "meta") {
    // A refresh's address: "5; url=https://example.net/".
    const std::string_view* content = tag.Attribute("content");
    if (!content) return std::string_view();
    std::size_t at = 0;
    while (at + 3 <= content->size() && !SameAt(*content, at, "url", true)) ++at;
    if (at + 3 > content->size()) return std::string_view();
    std::size_t i = at + 3;
    while (i < content->size() && ((*content)[i] == ' ' || (*content)[i] == '=')) ++i;
    std::string_view url = Trim(content->substr(i));
    if (!url.empty() && (url.front() == '\'' || url.front() == '"')) url.remove_prefix(1);
    if (!url.empty() && (url.back() == '\'' || url.back() == '"')) url.remove_suffix(1);
    return url;
  }
  for (const auto& [element, attribute] : kOwn) {
    if (tag.name == element) {
      const std::string_view* v = tag.Attribute(attribute);
      return v ? *v : std::string_view();
    }
  }
  for (std::string_view attribute : {"src", "href", "action", "data"}) {
    if (const std::string_view* v = tag.Attribute(attribute)) return *v;
  }
  return std::nullopt;
}

struct Url {
  std::string scheme;  // lower case; "" for a relative URL
  std::string host;    // lower case; "" when it has none
};

Url ParseUrl(std::string_view text) {
  text = Trim(text);
  Url u;
  std::size_t i = 0;
  while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' ||
                             text[i] == '-' || text[i] == '.'))
    ++i;
  if (i > 0 && i < text.size() && text[i] == ':' &&
      std::isalpha(static_cast<unsigned char>(text[0]))) {
    u.scheme = ascii::Lower(text.substr(0, i));
    text.remove_prefix(i + 1);
  }
  // Browsers read "\" as "/" in web addresses.
  if (text.size() >= 2 && (text[0] == '/' || text[0] == '\\') &&
      (text[1] == '/' || text[1] == '\\')) {
    text.remove_prefix(2);
    const std::size_t end = std::min(text.find_first_of("/\\?#"), text.size());
    std::string_view authority = text.substr(0, end);
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[') {
      authority = authority.substr(0, std::min(authority.find(']') + 1, authority.size()));
    } else {
      authority = authority.substr(0, std::min(authority.find(':'), authority.size()));
    }
    u.host = ascii::Lower(authority);
    while (!u.host.empty() && u.host.back() == '.') u.host.pop_back();
  }
  return u;
}

// A host's site: its last two labels (an address stays whole).
std::string_view Site(std::string_view host) {
  if (host.empty() || host.front() == '[' || std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '.';
      }))
    return host;
  const std::size_t last = host.rfind('.');
  if (last == std::string_view::npos || last == 0) return host;
  const std::size_t before = host.rfind('.', last - 1);
  return before == std::string_view::npos ? host : host.substr(before + 1);
}

bool Listed(std::string_view host, const std::vector<std::string>& allowed) {
  return std::any_of(allowed.begin(), allowed.end(), [&](const std::string& a) {
    return host == a ||
           (host.size() > a.size() && host.compare(host.size() - a.size(), a.size(), a) == 0 &&
            host[host.size() - a.size() - 1] == '.');
  });
}

struct PageSite {
  std::string host;  // "" for a text without a web address
};

// Whether `url` goes to another site than the page's, not on the list.
// Relative URLs and non-web schemes (data:, javascript:, mailto:) stay on
// the page.
bool GoesElsewhere(std::string_view url, const PageSite& page,
                   const std::vector<std::string>& allowed) {
  const Url u = ParseUrl(url);
  if (u.host.empty()) return false;
  if (!u.scheme.empty() && u.scheme != "http" && u.scheme != "https") return false;
  if (!page.host.empty() && Site(u.host) == Site(page.host)) return false;
  return !Listed(u.host, allowed);
}

bool OriginHolds(OriginTest test, std::string_view url, const PageSite& page,
                 const std::vector<std::string>& allowed) {
  if (test == OriginTest::Any) return true;
  return GoesElsewhere(url, page, allowed) == (test == OriginTest::Other);
}

}  // namespace

std::vector<Selector> ParseSelectors(std::string_view text) {
  if (Trim(text).empty()) throw std::invalid_argument("the selector is empty");
  if (text.size() > 4096)
    throw std::invalid_argument("the selector is longer than 4096 characters");
  return SelectorParser(text).All();
}

const std::vector<std::string>& WellKnownOrigins() {
  static const std::vector<std::string> hosts = {
      // Libraries
      "ajax.googleapis.com", "cdnjs.cloudflare.com", "cdn.jsdelivr.net", "unpkg.com",
      "code.jquery.com", "stackpath.bootstrapcdn.com", "maxcdn.bootstrapcdn.com",
      "ajax.aspnetcdn.com", "cdn.datatables.net", "polyfill-fastly.io", "cdn.mathjax.org",
      // Fonts
      "fonts.googleapis.com", "fonts.gstatic.com", "use.fontawesome.com", "kit.fontawesome.com",
      "use.typekit.net", "p.typekit.net",
      // Tag managers and analytics
      "www.googletagmanager.com", "www.google-analytics.com", "ssl.google-analytics.com",
      "static.cloudflareinsights.com", "plausible.io", "cdn.usefathom.com", "cdn.segment.com",
      "js.hs-scripts.com", "js.hs-analytics.net", "snap.licdn.com", "connect.facebook.net",
      "static.hotjar.com", "script.hotjar.com", "cdn.matomo.cloud", "stats.wp.com",
      // Embeds
      "www.youtube.com", "www.youtube-nocookie.com", "player.vimeo.com", "www.google.com",
      "www.gstatic.com", "platform.twitter.com", "js.stripe.com"};
  return hosts;
}

std::string AllowedHost(std::string_view entry) {
  const std::string_view e = Trim(entry);
  const Url u =
      ParseUrl(e.find("//") == std::string_view::npos ? "//" + std::string(e) : std::string(e));
  return u.host;
}

bool PageScheme(const PageOrigin* page, std::string_view scheme) {
  if (!page || page->address.empty()) return false;
  return ParseUrl(page->address).scheme == scheme;
}

std::vector<ElementHit> MatchElements(std::string_view text, const RuleSet& set,
                                      const PageOrigin* page, std::size_t only_rule) {
  std::vector<std::size_t> rules;
  for (std::size_t r = 0; r < set.size(); ++r) {
    if (set[r].kind != MatchKind::Element) continue;
    if (only_rule < set.size() && r != only_rule) continue;
    if (!set[r].page_scheme.empty() && !PageScheme(page, set[r].page_scheme)) continue;
    rules.push_back(r);
  }
  std::vector<ElementHit> hits;
  if (rules.empty()) return hits;
  PageSite site;
  if (page) {
    const Url u = ParseUrl(page->address);
    if (u.scheme == "http" || u.scheme == "https") site.host = u.host;
  }
  const std::vector<std::string>& allowed = set.allow_origins();
  // Each selector made ready once.
  struct Candidate {
    std::size_t rule;
    const Selector* selector;
    ReadyCompound outer, inner;
    // The attribute some positive test of its own asks for (its first), as
    // an index into `needed`; kNone when none does.
    std::size_t needs;
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<Candidate> candidates;
  // The attribute names candidates need, each once: a tag is asked for each
  // at most once, however many selectors need it.
  std::vector<std::string_view> needed;
  for (std::size_t r : rules) {
    for (const Selector& sel : set[r].selectors) {
      Candidate c{r, &sel, Ready(sel.outer), Ready(sel.inner), kNone};
      for (const AttributeTest& a : sel.outer.tests) {
        if (a.negated) continue;
        auto it = std::find(needed.begin(), needed.end(), std::string_view(a.name));
        c.needs = static_cast<std::size_t>(it - needed.begin());
        if (it == needed.end()) needed.push_back(a.name);
        break;
      }
      candidates.push_back(std::move(c));
    }
  }
  // An element a :has() selector waits on: its hit is decided at its end.
  struct Open {
    const Candidate* candidate;
    bool inner_origin;  // the origin test applies to the elements inside
    std::size_t offset, length;
    std::string name;
    std::size_t depth = 1;  // open elements of its name, itself included
    std::size_t count = 0;
  };
  std::vector<Open> open;
  auto finish = [&](const Open& o) {
    if (o.count >= set[o.candidate->rule].has_count)
      hits.push_back({o.candidate->rule, o.offset, o.length, o.name});
  };
  // The candidates by the element they name, so that a tag meets only those
  // that may match it (a handful of names: a short list beats hashing every
  // tag's name), and within a name in runs that need the same attribute, so
  // that a tag without it passes a whole run by at once. The order stays the
  // set's: the first selector of a rule that matches is the one that counts.
  struct Group {
    std::size_t needs;
    std::vector<const Candidate*> members;
  };
  using Groups = std::vector<Group>;
  std::vector<std::pair<std::string_view, Groups>> by_name;
  Groups any_name;
  auto join = [](Groups& groups, const Candidate& c) {
    if (groups.empty() || groups.back().needs != c.needs) groups.push_back(Group{c.needs, {}});
    groups.back().members.push_back(&c);
  };
  for (const Candidate& c : candidates) {
    if (c.outer.element.empty()) {
      join(any_name, c);
      continue;
    }
    auto it = std::find_if(by_name.begin(), by_name.end(),
                           [&](const auto& e) { return e.first == c.outer.element; });
    if (it == by_name.end()) it = by_name.insert(by_name.end(), {c.outer.element, {}});
    join(it->second, c);
  }
  std::vector<std::size_t> hit_rules;
  // Per tag, whether it has each needed attribute: 0 not asked yet, 1 no, 2 yes.
  std::vector<std::uint8_t> has(needed.size());
  TagReader reader(text);
  Tag tag;
  constexpr std::size_t kMaxOpen = 256;  // a hostile page cannot grow this
  while (reader.Next(tag)) {
    if (tag.end) {
      for (std::size_t k = open.size(); k-- > 0;) {
        if (open[k].name != tag.name || --open[k].depth > 0) continue;
        finish(open[k]);
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(k));
      }
      continue;
    }
    for (Open& o : open) {
      if (o.name == tag.name) ++o.depth;
      if (!Matches(o.candidate->inner, tag)) continue;
      if (o.inner_origin) {
        const std::optional<std::string_view> url = UrlOf(tag);
        if (!url || !OriginHolds(set[o.candidate->rule].origin_test, *url, site, allowed)) continue;
      }
      ++o.count;
    }
    const Groups* named = nullptr;
    for (const auto& [name, groups] : by_name) {
      if (name == tag.name) {
        named = &groups;
        break;
      }
    }
    // Most tags meet no candidate at all: nothing to reset for them.
    if (!named && any_name.empty()) continue;
    hit_rules.clear();
    std::fill(has.begin(), has.end(), 0);
    // Which candidates may match: none that needs an attribute the tag lacks.
    auto may = [&](const Group& g) {
      if (g.needs == kNone) return true;
      if (tag.attributes.empty()) return false;
      std::uint8_t& h = has[g.needs];
      if (h == 0) h = tag.Attribute(needed[g.needs]) ? 2 : 1;
      return h == 2;
    };
    const Groups* any = &any_name;
    for (const Groups* groups : {named, any}) {
      if (!groups) continue;
      for (const Group& g : *groups) {
        if (!may(g)) continue;
        for (const Candidate* c : g.members) {
          const Rule& rule = set[c->rule];
          if (std::find(hit_rules.begin(), hit_rules.end(), c->rule) != hit_rules.end()) continue;
          if (!Matches(c->outer, tag)) continue;
          const std::optional<std::string_view> url = UrlOf(tag);
          const bool inner_origin = c->selector->has_inner && !url;
          if (!inner_origin && rule.origin_test != OriginTest::Any &&
              !OriginHolds(rule.origin_test, url.value_or(std::string_view()), site, allowed))
            continue;
          hit_rules.push_back(c->rule);
          if (!c->selector->has_inner) {
            hits.push_back({c->rule, tag.offset, tag.length, std::string(tag.name)});
          } else if (open.size() < kMaxOpen) {
            open.push_back({c, inner_origin, tag.offset, tag.length, std::string(tag.name)});
          }
        }
      }
    }
  }
  for (const Open& o : open) finish(o);
  std::stable_sort(hits.begin(), hits.end(),
                   [](const ElementHit& a, const ElementHit& b) { return a.offset < b.offset; });
  return hits;
}

}  // namespace vx::app::check
