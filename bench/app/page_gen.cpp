#include "bench/app/page_gen.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string_view>

namespace vx::bench {
namespace {

constexpr std::array<std::string_view, 96> kWords = {"the",
                                                     "of",
                                                     "and",
                                                     "to",
                                                     "in",
                                                     "a",
                                                     "is",
                                                     "that",
                                                     "for",
                                                     "it",
                                                     "as",
                                                     "was",
                                                     "with",
                                                     "be",
                                                     "by",
                                                     "on",
                                                     "not",
                                                     "he",
                                                     "this",
                                                     "are",
                                                     "or",
                                                     "his",
                                                     "from",
                                                     "at",
                                                     "which",
                                                     "but",
                                                     "have",
                                                     "an",
                                                     "they",
                                                     "you",
                                                     "were",
                                                     "their",
                                                     "one",
                                                     "all",
                                                     "we",
                                                     "can",
                                                     "her",
                                                     "has",
                                                     "there",
                                                     "been",
                                                     "if",
                                                     "more",
                                                     "when",
                                                     "will",
                                                     "would",
                                                     "who",
                                                     "so",
                                                     "no",
                                                     "online",
                                                     "once",
                                                     "mouse",
                                                     "window",
                                                     "address",
                                                     "apply",
                                                     "select",
                                                     "function",
                                                     "create",
                                                     "screen",
                                                     "focus",
                                                     "object",
                                                     "form",
                                                     "format",
                                                     "application",
                                                     "addition",
                                                     "selfless",
                                                     "window's",
                                                     "moused",
                                                     "clicking",
                                                     "loaded",
                                                     "onward",
                                                     "wheel",
                                                     "favourite",
                                                     "collection",
                                                     "embedded",
                                                     "scripted",
                                                     "applets",
                                                     "shockwave",
                                                     "caf\xC3\xA9",
                                                     "na\xC3\xAFve",
                                                     "\xE2\x82\xAC"
                                                     "12",
                                                     "price",
                                                     "delivery",
                                                     "customer",
                                                     "review",
                                                     "stock",
                                                     "market",
                                                     "weather",
                                                     "report",
                                                     "update",
                                                     "season",
                                                     "league",
                                                     "match",
                                                     "city",
                                                     "council",
                                                     "budget"};

constexpr std::array<std::string_view, 8> kClasses = {
    "card", "story-body", "nav-item", "price-tag", "col-md-6", "teaser", "byline", "footer-link"};

class Writer {
 public:
  explicit Writer(std::uint32_t seed) : rng_(seed) {}

  std::string_view Word() { return kWords[rng_() % kWords.size()]; }
  std::string_view Class() { return kClasses[rng_() % kClasses.size()]; }
  unsigned Number(unsigned n) { return static_cast<unsigned>(rng_() % n); }

  void Sentence(std::string& out) {
    const unsigned n = 6 + Number(14);
    for (unsigned i = 0; i < n; ++i) {
      if (i) out += ' ';
      out += Word();
    }
    out += ". ";
  }

  // One self-contained block of markup, a few hundred bytes to a few KiB.
  void Block(std::string& out) {
    switch (Number(6)) {
      case 0:
        out += "<div class=\"";
        out += Class();
        out += "\" style=\"padding: 4px 8px; margin: 0 auto\">\n  <h2>";
        Sentence(out);
        out += "</h2>\n  <p>";
        for (unsigned i = 1 + Number(4); i > 0; --i) Sentence(out);
        out += "<em>";
        out += Word();
        out += "</em> <strong>";
        out += Word();
        out += "</strong></p>\n</div>\n";
        break;
      case 1:
        out += "<ul class=\"menu\">\n";
        for (unsigned i = 2 + Number(5); i > 0; --i) {
          out += "  <li><a href=\"/";
          out += Word();
          out += "/";
          out += std::to_string(Number(100000));
          out += ".html\" title=\"";
          out += Word();
          out += "\">";
          out += Word();
          out += ' ';
          out += Word();
          out += "</a></li>\n";
        }
        out += "</ul>\n";
        break;
      case 2:
        out += "<table class=\"prices\">\n";
        for (unsigned i = 2 + Number(4); i > 0; --i) {
          out += "  <tr><td>";
          out += Word();
          out += "</td><td class=\"num\">";
          out += std::to_string(Number(10000));
          out += ".";
          out += std::to_string(10 + Number(90));
          out += "</td></tr>\n";
        }
        out += "</table>\n";
        break;
      case 3:
        out += "<img src=\"/img/";
        out += std::to_string(Number(1000000));
        out += ".jpg\" alt=\"";
        Sentence(out);
        out += "\" width=\"640\" height=\"360\" loading=\"lazy\">\n<p class=\"caption\">";
        Sentence(out);
        out += "</p>\n";
        break;
      case 4:
        out += "<section data-track=\"";
        out += Word();
        out += "\" aria-label=\"";
        out += Word();
        out += "\">\n<p>";
        for (unsigned i = 2 + Number(6); i > 0; --i) Sentence(out);
        out += "</p>\n<aside><abbr title=\"";
        out += Word();
        out += "\">";
        out += Word();
        out += "</abbr> <option value=\"";
        out += std::to_string(Number(50));
        out += "\">";
        out += Word();
        out += "</option></aside>\n</section>\n";
        break;
      default:
        out += "<footer><span class=\"";
        out += Class();
        out += "\">";
        Sentence(out);
        out += "</span> <a href=\"https://example.com/";
        out += Word();
        out += "?id=";
        out += std::to_string(Number(1u << 30));
        out += "\">";
        out += Word();
        out += "</a></footer>\n";
        break;
    }
  }

 private:
  std::mt19937 rng_;
};

}  // namespace

std::string MakePage(std::size_t bytes, std::uint32_t seed) {
  Writer w(seed);
  const std::string head =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>City news and offers</title>\n<link rel=\"stylesheet\" href=\"/site.css\">\n"
      "</head>\n<body class=\"home\">\n";
  const std::string tail = "</body>\n</html>\n";
  // Markers placed at fractions of the page.
  const std::array<std::pair<double, std::string_view>, 5> planted = {{
      {0.33, "<form action=\"/search\" method=\"get\"><input name=\"q\"></form>\n"},
      {0.66, "<button onclick=\"toggle()\">More</button>\n"},
      {0.995, "<a href=\"#\" data-x=\"window.open('/help')\">Help</a>\n"},
      {0.997, "<SCRIPT src=\"/late.js\"></SCRIPT>\n"},
      {0.999, "<!-- cdromCollection -->\n"},
  }};
  std::string page = head;
  page.reserve(bytes + 8192);
  std::size_t next = 0;
  const std::size_t body_end = bytes > tail.size() ? bytes - tail.size() : 0;
  while (page.size() < body_end) {
    if (next < planted.size() && page.size() >= planted[next].first * static_cast<double>(bytes)) {
      page += planted[next++].second;
      continue;
    }
    w.Block(page);
  }
  page.resize(std::max(body_end, head.size()));
  // Cutting may split a multi-byte character: blank what is left of it.
  std::size_t i = page.size();
  while (i > 0 && page.size() - i < 4 && (static_cast<unsigned char>(page[i - 1]) & 0xC0) == 0x80) {
    --i;
  }
  if (i > 0) {
    const auto c = static_cast<unsigned char>(page[i - 1]);
    const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (page.size() - (i - 1) < need) {
      std::fill(page.begin() + static_cast<std::ptrdiff_t>(i - 1), page.end(), ' ');
    }
  }
  // On a page too small for the loop to reach them, the markers still go in.
  for (; next < planted.size(); ++next) page += planted[next].second;
  page += tail;
  return page;
}

const std::vector<std::string>& ManualPages() {
  static const std::vector<std::string> pages = [] {
    std::vector<std::string> out;
    const std::filesystem::path root = "/usr/share/doc/python3.11/html";
    if (!std::filesystem::is_directory(root)) return out;
    std::vector<std::filesystem::path> paths;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
      if (e.is_regular_file() && e.path().extension() == ".html") paths.push_back(e.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& p : paths) {
      std::ifstream in(p, std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      out.push_back(s.str());
    }
    return out;
  }();
  return pages;
}

}  // namespace vx::bench
