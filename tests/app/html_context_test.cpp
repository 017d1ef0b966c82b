// The context scanner on hand-made pages: each context, the tokenizer states
// that are easy to get wrong, and the open elements a byte is named after.
// Maps give one letter a byte: t tag, n attribute name, v attribute value,
// s script, y style, c comment, x text, o other.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/check/html_context.h"

namespace {

using vx::app::check::Context;
using vx::app::check::ContextFromName;
using vx::app::check::ContextName;
using vx::app::check::ContextScanner;
using vx::app::check::Place;

char Letter(Context c) {
  switch (c) {
    case Context::Tag:
      return 't';
    case Context::AttributeName:
      return 'n';
    case Context::AttributeValue:
      return 'v';
    case Context::Script:
      return 's';
    case Context::Style:
      return 'y';
    case Context::Comment:
      return 'c';
    case Context::Text:
      return 'x';
    case Context::Other:
      return 'o';
  }
  return '?';
}

std::string Map(std::string_view page) {
  ContextScanner scanner(page);
  std::string map;
  for (std::size_t i = 0; i < page.size(); ++i) map.push_back(Letter(scanner.At(i).context));
  return map;
}

// "t3 x2" is "tttxx".
std::string Runs(std::string_view runs) {
  std::string map;
  for (std::size_t i = 0; i < runs.size();) {
    const char letter = runs[i++];
    std::size_t count = 0;
    while (i < runs.size() && runs[i] >= '0' && runs[i] <= '9')
      count = count * 10 + (runs[i++] - '0');
    map.append(count, letter);
    while (i < runs.size() && runs[i] == ' ') ++i;
  }
  return map;
}

// The place of the first byte of the `nth` occurrence of `needle`.
Place PlaceOf(std::string_view page, std::string_view needle, int nth = 0) {
  std::size_t at = page.find(needle);
  for (int i = 0; i < nth && at != std::string_view::npos; ++i) at = page.find(needle, at + 1);
  EXPECT_NE(at, std::string_view::npos) << needle;
  ContextScanner scanner(page);
  return scanner.At(at);
}

std::string ElementOf(std::string_view page, std::string_view needle, int nth = 0) {
  return PlaceOf(page, needle, nth).element;
}

TEST(HtmlContextNames, EveryContextHasANameThatReadsBack) {
  const std::string_view expected[] = {
      "tag", "attribute-name", "attribute-value", "script", "style", "comment", "text", "other"};
  for (std::size_t i = 0; i < vx::app::check::kContextCount; ++i) {
    const auto c = static_cast<Context>(i);
    EXPECT_EQ(ContextName(c), expected[i]);
    EXPECT_EQ(ContextFromName(expected[i]), c);
  }
  EXPECT_EQ(ContextFromName("Tag"), std::nullopt);
  EXPECT_EQ(ContextFromName(""), std::nullopt);
  EXPECT_EQ(ContextFromName("attribute"), std::nullopt);
}

TEST(HtmlContextTokenizer, TagsAndTheirAttributes) {
  // Quoted values keep '>' inside; '=' and spaces between are tag.
  EXPECT_EQ(Map("<a href=\"x>y\" id='q' b c=d>t</a>"), "tttnnnntvvvvvtnntvvvtntntvtxtttt");
  // An unquoted value ends at '>', which ends the tag.
  EXPECT_EQ(Map("<p a=b>c"), "tttntvtx");
  EXPECT_EQ(Map("<p a=b/>c"), "tttntvvtx");
  // The self-closing slash and a name that starts with '='.
  EXPECT_EQ(Map("<br/><p =x>"), Runs("t8 n2 t1"));
  // An end tag's attributes are dropped: all of it reads as tag.
  EXPECT_EQ(Map("<b>x</b class=\"y>\">"), Runs("t3 x1 t15"));
  // "<" not followed by a letter is text, as are lone "<" at the end.
  EXPECT_EQ(Map("a < b <3 <"), "xxxxxxxxxx");
  // Names are in small letters whatever the page wrote.
  EXPECT_EQ(PlaceOf("<DIV CLASS=x>", "CLASS").element, "div");
  EXPECT_EQ(PlaceOf("<DIV CLASS=x>", "CLASS").context, Context::AttributeName);
}

TEST(HtmlContextTokenizer, ScriptData) {
  // A capital <SCRIPT> opens script data; its end tag closes it in any case.
  EXPECT_EQ(Map("<SCRIPT>a<b</ScRiPt >x"), Runs("t8 s3 t10 x1"));
  EXPECT_EQ(ElementOf("<SCRIPT>a<b</ScRiPt >x", "a<b"), "script");
  // "</script" in a string still ends the script, as in a browser; the
  // second end tag closes nothing.
  const std::string_view in_string = "<script>s=\"</script>\";x</script>";
  EXPECT_EQ(PlaceOf(in_string, "\";x").context, Context::Text);
  EXPECT_EQ(PlaceOf(in_string, "</script>", 1).context, Context::Tag);
  // An end tag of another name, or "</script" without a delimiter, does not.
  EXPECT_EQ(Map("<script></scripty></style></script>"), "ttttttttssssssssssssssssssttttttttt");
  // "<!--" escapes: "<script>" inside it double-escapes, so the first
  // "</script>" is still script; "-->" ends the escape.
  const std::string_view escaped = "<script><!--<script>x</script>--></script>y";
  EXPECT_EQ(Map(escaped), Runs("t8 s25 t9 x1"));
  // A comment inside script is script, and "-->" ends the escape at once
  // after "<!--".
  EXPECT_EQ(Map("<script><!-- a --></script>b"), Runs("t8 s10 t9 x1"));
  EXPECT_EQ(Map("<script><!--></script>b"), "ttttttttssssstttttttttx");
  // Escaped but not double escaped: "</script>" ends it.
  EXPECT_EQ(Map("<script><!--x</script>y"), Runs("t8 s5 t9 x1"));
  // Never closed: script to the end of the page.
  EXPECT_EQ(Map("<script>a</scr"), "ttttttttssssss");
}

TEST(HtmlContextTokenizer, RawTextAndRcdata) {
  EXPECT_EQ(Map("<style>p<b>{}</style>x"), Runs("t7 y6 t8 x1"));
  EXPECT_EQ(ElementOf("<style>p<b>{}</style>x", "p<b"), "style");
  // title and textarea hold text, tags in them included.
  EXPECT_EQ(Map("<title><b>t</title>"), "tttttttxxxxtttttttt");
  EXPECT_EQ(ElementOf("<title><b>t</title>", "<b>"), "title");
  EXPECT_EQ(Map("<textarea></p></textarea>"), Runs("t10 x4 t11"));
  // xmp, iframe, noembed, noframes and noscript hold raw text.
  for (std::string_view name : {"xmp", "iframe", "noembed", "noframes", "noscript"}) {
    const std::string page = "<" + std::string(name) + "><b>x</b></" + std::string(name) + ">";
    const Place p = PlaceOf(page, "<b>");
    EXPECT_EQ(p.context, Context::Text) << name;
    EXPECT_EQ(p.element, name);
    EXPECT_EQ(PlaceOf(page, "</" + std::string(name)).context, Context::Tag) << name;
  }
  // plaintext never ends.
  EXPECT_EQ(Map("<plaintext></plaintext><b>"), Runs("t11 x15"));
  EXPECT_EQ(ElementOf("<plaintext></plaintext><b>", "<b>"), "plaintext");
}

TEST(HtmlContextTokenizer, Comments) {
  EXPECT_EQ(Map("a<!-- b -->c"), "xccccccccccx");
  // "<!-->" and "<!--->" are whole comments.
  EXPECT_EQ(Map("<!-->a<!--->b"), "cccccxccccccx");
  // "--!>" ends one too; "-- >" does not.
  EXPECT_EQ(Map("<!--a--!>b<!--c-- >d-->e"), "cccccccccxcccccccccccccx");
  // Unterminated: a comment to the end of the page.
  EXPECT_EQ(Map("x<!-- <script>y"), "xcccccccccccccc");
}

TEST(HtmlContextTokenizer, BogusCommentsDoctypeAndCdata) {
  EXPECT_EQ(Map("<!DOCTYPE html>x"), "ooooooooooooooox");
  EXPECT_EQ(Map("<!doctype html>x").substr(0, 15), std::string(15, 'o'));
  EXPECT_EQ(PlaceOf("<!doctype html>x", "<!").element, "");
  // "<?", "</ x" and "<!x" are bogus comments up to the first '>'; "</>" is
  // dropped, and the text around it runs on over it.
  EXPECT_EQ(Map("<?xml a=\"b>\"?>c"), "oooooooooooxxxx");
  EXPECT_EQ(Map("</ x>a</>b<!x>c"), Runs("o5 x5 o4 x1"));
  // CDATA sections exist only inside svg and math; elsewhere "<![CDATA[" is
  // a bogus comment that ends at the first '>'.
  EXPECT_EQ(Map("<svg><![CDATA[<a>]]></svg>"), Runs("t5 o15 t6"));
  EXPECT_EQ(ElementOf("<svg><![CDATA[<a>]]></svg>", "<a>"), "svg");
  EXPECT_EQ(Map("<p><![CDATA[<a>]]>"), "tttooooooooooooxxx");
}

TEST(HtmlContextTokenizer, LineEndsKeepByteOffsets) {
  // CR LF and a lone CR are white space wherever the tokenizer looks for
  // it, and offsets stay those of the page's bytes.
  EXPECT_EQ(Map("<a\r\nhref=x\rid=y>\r\nz"), "ttttnnnntvtnntvtxxx");
  EXPECT_EQ(Map("<p>a\rb\r\nc<b\r>"), "tttxxxxxxtttt");
  const std::string_view page = "<script>\r\n</script\r\n>\r<!--\r-->";
  EXPECT_EQ(Map(page).substr(8), "sstttttttttttxcccccccc");
}

TEST(HtmlContextTree, ImpliedHtmlHeadAndBody) {
  // Text at the top lands in an implied body; white space in the head stays
  // in the head, after it in html; a comment before <html> has no element.
  const std::string_view page =
      "<!--a--><html><head> "
      "<title>t</title></head>\n<!--b--><body>x</body>\n<!--c--></html><!--d-->";
  EXPECT_EQ(ElementOf(page, "<!--a"), "");
  EXPECT_EQ(ElementOf(page, " <title"), "head");
  EXPECT_EQ(ElementOf(page, "\n<!--b"), "html");
  EXPECT_EQ(ElementOf(page, "<!--b"), "html");
  EXPECT_EQ(ElementOf(page, "x"), "body");
  EXPECT_EQ(ElementOf(page, "\n<!--c"), "body");
  EXPECT_EQ(ElementOf(page, "<!--c"), "html");
  EXPECT_EQ(ElementOf(page, "<!--d"), "");
  EXPECT_EQ(ElementOf("hello", "hello"), "body");
  EXPECT_EQ(ElementOf("<meta charset=utf-8>hi", "hi"), "body");
  EXPECT_EQ(ElementOf("<title>t</title> <p>", " "), "head");
}

TEST(HtmlContextTree, ImpliedEndTags) {
  EXPECT_EQ(ElementOf("<p>A<div>B</div>C", "C"), "body");
  EXPECT_EQ(ElementOf("<p>A<p>B", "B"), "p");
  EXPECT_EQ(ElementOf("<ul><li>A<li>B</ul>C", "C"), "body");
  EXPECT_EQ(ElementOf("<ul><li><p>A<li>B", "B"), "li");
  EXPECT_EQ(ElementOf("<dl><dt>A<dd>B<dt>C</dl>D", "B"), "dd");
  EXPECT_EQ(ElementOf("<dl><dt>A<dd>B<dt>C</dl>D", "D"), "body");
  EXPECT_EQ(ElementOf("<select><option>A<option>B</select>C", "B"), "option");
  EXPECT_EQ(ElementOf("<select><option>A<option>B</select>C", "C"), "body");
  EXPECT_EQ(ElementOf("<h1>A<h2>B</h2>C", "C"), "body");
  // End tags close the nearest element of their name; a p end tag with no
  // p open makes an empty one; an unknown end tag closes nothing.
  EXPECT_EQ(ElementOf("<div><span><em>A</div>B", "B"), "body");
  EXPECT_EQ(ElementOf("<div>A</p>B", "B"), "div");
  EXPECT_EQ(ElementOf("<div><foo>A</bar>B", "B"), "foo");
  // Void elements hold nothing.
  EXPECT_EQ(ElementOf("<p><br>A<img src=x>B<input>C", "C"), "p");
  EXPECT_EQ(ElementOf("<p><br>A<img src=x>B<input>C", "src"), "img");
}

void ExpectSameWhateverAsked(std::string_view page);

// The scanner counts its open p and template elements rather than walking
// the open elements for each block: every way one leaves must count.
TEST(HtmlContextTree, OpenPAndTemplateElementsLeaveEveryWay) {
  const std::vector<std::string> pages = {
      // A button bounds the p's scope: the div stays inside the p, which a
      // later block then closes.
      "<p><button><div>A</button>B<div>C</div>D",
      // A formatting element taken out from under its p, or a form, leaves
      // the p open.
      "<b><p>A</b>B<div>C</div>D",
      "<form><p><span>A</form>B<div>C</div>D",
      // A p end tag that is not the innermost element closes what is inside.
      "<p><span><em>A</p>B<div>C</div>D",
      // A template's content closes with it, p and all.
      "<template><p>A</template>B<div>C</div>D",
      // A foreign template is no template.
      "<svg><template>A</template></svg>B<div>C</div>D",
      // Upper-case names are the same elements.
      "<P>A<UL>B</UL>C<Ul>x</uL>D",
  };
  const std::vector<std::vector<std::string>> want = {
      {"div", "p", "div", "body"},     {"p", "p", "div", "body"},
      {"span", "span", "div", "body"}, {"em", "body", "div", "body"},
      {"p", "body", "div", "body"},    {"template", "body", "div", "body"},
      {"p", "ul", "body", "body"},
  };
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const char* needles[] = {"A", "B", "C", "D"};
    for (std::size_t k = 0; k < 4; ++k)
      EXPECT_EQ(ElementOf(pages[i], needles[k]), want[i][k]) << pages[i] << " " << needles[k];
    ExpectSameWhateverAsked(pages[i]);
  }
  // An end tag closes the innermost element at once only when it is that
  // element's: "span\0" is no span, "</span>" leaves it open.
  const std::string nul("<div><span\0>A</span>B</div>C<x\0>D</x\0>E", 39);
  EXPECT_EQ(ElementOf(nul, "A"), std::string("span\0", 5));
  EXPECT_EQ(ElementOf(nul, "B"), std::string("span\0", 5));
  EXPECT_EQ(ElementOf(nul, "C"), "body");
  EXPECT_EQ(ElementOf(nul, "D"), std::string("x\0", 2));
  EXPECT_EQ(ElementOf(nul, "E"), "body");
  ExpectSameWhateverAsked(nul);
  // The svg template's text is the template's own; the page's stays apart.
  EXPECT_EQ(ElementOf("<svg><template>A</template></svg>B", "A"), "template");
}

// Raw text elements one after another, each ended by its own end tag
// whatever the case it is written in, never by another's.
TEST(HtmlContextTokenizer, EachRawTextElementEndsByItsOwnName) {
  const std::string page =
      "<TITLE>Q1<b>Q2</TITLE>Q3<style>Q4</style><div>Q5<TextArea>Q6</div>Q7</textAREA>Q8"
      "<script>Q9</style>Q10</ScRiPt>Q11";
  EXPECT_EQ(PlaceOf(page, "Q2").context, Context::Text);
  EXPECT_EQ(ElementOf(page, "Q2"), "title");
  EXPECT_EQ(ElementOf(page, "Q3"), "body");
  EXPECT_EQ(PlaceOf(page, "Q4").context, Context::Style);
  EXPECT_EQ(ElementOf(page, "Q7"), "textarea");
  EXPECT_EQ(ElementOf(page, "Q8"), "div");
  EXPECT_EQ(PlaceOf(page, "Q10").context, Context::Script);
  EXPECT_EQ(PlaceOf(page, "Q11").context, Context::Text);
  EXPECT_EQ(ElementOf(page, "Q11"), "div");
  ExpectSameWhateverAsked(page);
}

TEST(HtmlContextTree, Tables) {
  const std::string_view page = "<table> <tr><td>A<td>B</tr> X</table>C";
  EXPECT_EQ(ElementOf(page, " <tr"), "table");
  EXPECT_EQ(ElementOf(page, "A"), "td");
  EXPECT_EQ(ElementOf(page, "B"), "td");
  // Character data a table cannot hold goes before the table.
  EXPECT_EQ(ElementOf(page, " X"), "body");
  EXPECT_EQ(ElementOf(page, "C"), "body");
  // Missing rows and sections are implied.
  EXPECT_EQ(ElementOf("<table><td>A</td> </table>", " "), "tr");
}

TEST(HtmlContextTree, ForeignContent) {
  // Inside svg, style and script are ordinary elements: tags in them count.
  const std::string_view svg = "<svg><style>A<tspan>B</tspan></style><desc><p>C</p></desc></svg>D";
  EXPECT_EQ(PlaceOf(svg, "A").context, Context::Style);
  EXPECT_EQ(PlaceOf(svg, "<tspan>").context, Context::Tag);
  EXPECT_EQ(ElementOf(svg, "B"), "tspan");
  // desc reads HTML again.
  EXPECT_EQ(ElementOf(svg, "C"), "p");
  EXPECT_EQ(ElementOf(svg, "D"), "body");
  // A tag HTML keeps to itself leaves foreign content.
  EXPECT_EQ(ElementOf("<svg><g><b>A", "A"), "b");
  EXPECT_EQ(ElementOf("<math><mi>A</mi><div>B", "B"), "div");
  EXPECT_EQ(ElementOf("<svg><rect/>Q</svg>", "Q"), "svg");
  // In svg, <script> holds no script data.
  EXPECT_EQ(PlaceOf("<svg><script><g>A</g></script>", "<g>").context, Context::Tag);
}

// Pages the fuzz target found the scanner and gumbo parting on, each the
// smallest form of a tree-building rule the scanner had wrong.
TEST(HtmlContextTree, RulesFuzzingFound) {
  // An element opened before a table leaves the table's mode in force: a
  // cell still opens in the table.
  EXPECT_EQ(ElementOf("<table><t>A<td>B", "B"), "td");
  // </form> closes the end tags it implies (the p) before the form.
  EXPECT_EQ(ElementOf("<form><p>A</form>B", "B"), "body");
  // A select in a table ends at the table's structure.
  EXPECT_EQ(ElementOf("<table><tr><td><select><option>A<td>B", "B"), "td");
  // mn reads HTML only inside math; in svg a p leaves the svg.
  EXPECT_EQ(ElementOf("<svg><mn><p>A</p>B", "B"), "body");
  // Table scope does not stop at foreign elements.
  EXPECT_EQ(ElementOf("<table><td><svg><foreignObject><td>A", "A"), "td");
  // svg title does not stop an li from closing the open one.
  EXPECT_EQ(ElementOf("<ul><li><svg><title>A<li>B</ul>C", "C"), "body");
  // Foreign content keeps its comments after </body>.
  EXPECT_EQ(ElementOf("<body><svg><g>x</body><!--c-->", "<!--c"), "g");
  // White space, NULs and a dropped "</>" go with the character data
  // around them: into the table, or before it with the rest.
  EXPECT_EQ(ElementOf(std::string("<table><tr>\t\0<td>", 17), "\t"), "tr");
  EXPECT_EQ(ElementOf("<table>\r</>X", "\r"), "body");
  // An svg end tag with anything after its name closes nothing, as gumbo
  // reads it, and neither does one right after a dropped "</>".
  EXPECT_EQ(ElementOf("<svg><g></g x>A", "A"), "g");
  // A template's content reads as a body's, even in the head.
  EXPECT_EQ(ElementOf("<template>A<p>B</template>C", "A"), "template");
  EXPECT_EQ(ElementOf("<template>A<p>B</template>C", "B"), "p");
  EXPECT_EQ(ElementOf("<template>A<p>B</template>C", "C"), "body");
  // An a closes the open a before it opens; one a table hides from it is
  // taken out all the same, unless a cell or an object opened since.
  EXPECT_EQ(ElementOf("<a>A<a>B</a>C", "C"), "body");
  EXPECT_EQ(ElementOf("<a><table><a></a><table>X", "X"), "body");
  // The a taken out stays the table's parent: what goes before the table
  // goes into it.
  EXPECT_EQ(ElementOf("<a><table><a></a>X", "X"), "a");
  EXPECT_EQ(ElementOf("<a><div><table><a>X</table>Y", "Y"), "div");
  EXPECT_EQ(ElementOf("<a><table><td><a></a></table>X", "X"), "a");
  EXPECT_EQ(ElementOf("<a><object><a>X</a>Y", "Y"), "object");
  // Nor does one name an svg element whose start tag came right after a
  // dropped "</>": </g> closes the outer g.
  EXPECT_EQ(ElementOf("<svg><g></><g>A</g>B", "B"), "svg");
  // The same three bytes ending a tag, a value or a bogus comment are no
  // dropped "</>": the svg elements after them close by name.
  EXPECT_EQ(ElementOf("<svg><t</><g></g>B", "B"), "svg");
  EXPECT_EQ(ElementOf("<svg><!</><g></g>B", "B"), "svg");
  EXPECT_EQ(ElementOf("<svg><a b=</><g></g>B", "B"), "a");
  EXPECT_EQ(ElementOf("<svg><g><t</></g>B", "B"), "svg");
  EXPECT_EQ(ElementOf("<svg><g><a b=</></g>B", "B"), "svg");
  // Any end tag but its own and </col> closes a column group and is read
  // again by the table's rules.
  EXPECT_EQ(ElementOf("<table><col></c><?", "<?"), "table");
  EXPECT_EQ(ElementOf("<table><colgroup></col><!--x-->", "<!--x"), "colgroup");
  // In quirks mode a table opens inside an open p, so what goes before the
  // table goes into the p. A doctype forces quirks when it is cut short or
  // its identifiers are not as written; only the first doctype counts.
  EXPECT_EQ(ElementOf("<!DOCTYPE html><p><table>X", "X"), "body");
  EXPECT_EQ(ElementOf("<p><table>X", "X"), "p");
  for (const char* doctype :
       {"<!DOCTYPE html x>", "<!DOCTYPE html PUBLIC>", "<!DOCTYPE html SYSTEM x>",
        "<!DOCTYPE html \"a\">", "<!DOCTYPE html PUBLIC \"a\" x>", "<!DOCTYPE html PUBLIC \"a>"}) {
    EXPECT_EQ(ElementOf(std::string(doctype) + "<p><table>X", "X"), "p") << doctype;
  }
  for (const char* doctype : {"<!DOCTYPE html  >", "<!DOCTYPE html SYSTEM 'a' x>",
                              "<!DOCTYPE html PUBLIC \"a\"\"b\">", "<!DOCTYPE html><!DOCTYPE>"}) {
    EXPECT_EQ(ElementOf(std::string(doctype) + "<p><table>X", "X"), "body") << doctype;
  }
  // A second <html> before the head implies the head, as in gumbo.
  EXPECT_EQ(ElementOf("<html><html><!--c-->", "<!--c"), "head");
}

TEST(HtmlContextScanner, OpenElementsAreBounded) {
  // Far deeper than the scanner keeps: the innermost name stays right, and
  // once everything is closed again the text is back in the body.
  std::string page;
  for (int i = 0; i < 3000; ++i) page += "<div>";
  page += "deep";
  for (int i = 0; i < 3000; ++i) page += "</div>";
  page += "out";
  EXPECT_EQ(ElementOf(page, "deep"), "div");
  EXPECT_EQ(ElementOf(page, "out"), "body");
  // A huge name is cut, never copied whole into each answer.
  const std::string name(1 << 20, 'q');
  const Place p = PlaceOf("<" + name + ">x", "x");
  EXPECT_EQ(p.context, Context::Text);
  EXPECT_LE(p.element.size(), 1024u);
}

TEST(HtmlContextScanner, AnswersDoNotDependOnWhichOffsetsAreAsked) {
  const std::string page =
      "<!DOCTYPE html><html><head><script>var a='<!--';</script></head><body>"
      "<p onclick=\"go()\">x<!-- y --><svg><![CDATA[z]]></svg></p></body></html>";
  std::string dense;
  {
    ContextScanner scanner(page);
    for (std::size_t i = 0; i < page.size(); ++i) {
      const Place p = scanner.At(i);
      dense += Letter(p.context) + p.element + ";";
      EXPECT_EQ(scanner.At(i).context, p.context);  // the same offset again
    }
  }
  for (std::size_t stride : {2u, 3u, 17u, 50u}) {
    ContextScanner scanner(page);
    for (std::size_t i = 0; i < page.size(); i += stride) {
      const Place p = scanner.At(i);
      const Place q = ContextScanner(page).At(i);
      EXPECT_EQ(p.context, q.context) << i;
      EXPECT_EQ(p.element, q.element) << i;
    }
  }
  // Past the end, and on an empty page, it answers without reading.
  ContextScanner scanner(page);
  scanner.At(page.size() + 10);
  EXPECT_EQ(ContextScanner("").At(0).context, Context::Text);
}

}  // namespace

namespace {

// "name a=v b=w" for start tags, "/name" for end tags, in page order.
std::vector<std::string> Tags(std::string_view page) {
  vx::app::check::TagReader reader(page);
  vx::app::check::Tag tag;
  std::vector<std::string> out;
  while (reader.Next(tag)) {
    std::string s = (tag.end ? "/" : "") + std::string(tag.name);
    for (const auto& a : tag.attributes)
      s += " " + std::string(a.name) + "=" + std::string(a.value);
    EXPECT_EQ(page[tag.offset], '<') << s;
    EXPECT_EQ(page[tag.offset + tag.length - 1], '>') << s;
    out.push_back(s);
  }
  return out;
}

}  // namespace

TEST(HtmlContextTags, StartTagsWithTheirAttributesAsTheTokenizerReadsThem) {
  using V = std::vector<std::string>;
  // Names in lower case, values unquoted, the first of a repeated name kept.
  EXPECT_EQ(Tags("<IFRAME Width=0 height='0' src=\"a&amp;b\" width=9 hidden></iframe>"),
            (V{"iframe Width=0 height=0 src=a&b hidden=", "/iframe"}));
  // What only looks like a tag is none: in a script, a comment, a title.
  EXPECT_EQ(Tags("<script>var s = '<iframe src=x>';</script><!-- <form> --><title><b></title>"),
            (V{"script", "/script", "title", "/title"}));
  // Escaped script data hides "</script>" inside "<!--<script>".
  EXPECT_EQ(Tags("<script><!--<script></script>--></script><p>"), (V{"script", "/script", "p"}));
  // A tag the page ends inside is not read; references stay when unknown.
  EXPECT_EQ(Tags("<a href='x&copy;y&#106;'>x</a><img src=y"), (V{"a href=x&copy;yj", "/a"}));
  EXPECT_EQ(Tags("<br/><input type=password/>"), (V{"br", "input type=password/"}));
}

// The scanner reads a tag in one walk and jumps over runs that cannot
// change its state; whatever it skips, the answers stay byte for byte those
// of asking every byte.
namespace {

// Every byte asked alone, and every stride, agree with asking every byte.
void ExpectSameWhateverAsked(std::string_view page) {
  std::vector<Place> dense;
  {
    ContextScanner scanner(page);
    for (std::size_t i = 0; i < page.size(); ++i) dense.push_back(scanner.At(i));
  }
  for (std::size_t i = 0; i < page.size(); ++i) {
    const Place p = ContextScanner(page).At(i);
    ASSERT_EQ(p.context, dense[i].context) << "asked alone at " << i << " of " << page;
    ASSERT_EQ(p.element, dense[i].element) << "asked alone at " << i;
  }
  for (std::size_t stride : {2u, 3u, 7u, 16u, 64u}) {
    ContextScanner scanner(page);
    for (std::size_t i = stride - 1; i < page.size(); i += stride) {
      ASSERT_EQ(scanner.At(i).context, dense[i].context) << "stride " << stride << " at " << i;
    }
  }
}

}  // namespace

TEST(HtmlContextSkipping, RunsOfEveryLengthEndWhereTheirByteIs) {
  // Text runs and quoted values around the sixteen-byte blocks and the
  // point where the C library takes over, each ending at a '<' or a quote
  // that must be found exactly, then at the page's end.
  for (std::size_t n : {0u, 1u, 14u, 15u, 16u, 17u, 31u, 32u, 47u, 48u, 63u, 64u, 65u, 80u, 200u}) {
    const std::string x(n, 'x'), y(n, 'y');
    const std::string page = "<p>" + x + "<b a=\"" + y + "\">z";
    EXPECT_EQ(Map(page), "ttt" + std::string(n, 'x') + "tttnt" + std::string(n + 2, 'v') + "tx")
        << n;
    ExpectSameWhateverAsked(page);
    // Never closed: the value, then the text, run to the end of the page.
    EXPECT_EQ(Map("<b a='" + y), "tttnt" + std::string(n + 1, 'v')) << n;
    EXPECT_EQ(Map("<p>" + x), "ttt" + std::string(n, 'x')) << n;
  }
}

TEST(HtmlContextSkipping, LineEndsAndNulsInsideSkippedRuns) {
  // CR, CR LF and NUL change nothing the scanner decides: they sit in the
  // runs it jumps over, in text, values, comments and script alike.
  using namespace std::string_literals;
  const std::string page =
      "<p>a\rb\r\nc\0d<i title=\"1\r2\r\n3\0004\">e<!-- \r\0 --><script>\r\0</script>\r"s;
  EXPECT_EQ(Map(page), Runs("t3 x8 t3 n5 t1 v10 t1 x1 c11 t8 s2 t9 x1"));
  ExpectSameWhateverAsked(page);
}

TEST(HtmlContextSkipping, TagNamesAroundSixteenBytesAndAtThePageEnd) {
  // Names read sixteen bytes at a time where the page has them, byte by
  // byte near its end: the same names, in small letters, either way.
  for (std::size_t n = 12; n <= 18; ++n) {
    const std::string name(n, 'Q');
    const std::string page = "<" + name + " a=b>x";
    EXPECT_EQ(ElementOf(page, "x"), std::string(n, 'q')) << n;
    EXPECT_EQ(ElementOf(page, "a="), std::string(n, 'q')) << n;
    EXPECT_EQ(Map("<" + name), std::string(n + 1, 't')) << n;
  }
  // Only A to Z are lowered; other bytes stay, UTF-8 included.
  EXPECT_EQ(ElementOf("<DIV\xC3\x89>x", "x"), "div\xC3\x89");
  // A NUL is part of the name: "script\0" is no script, "p\0" no p.
  const std::string script("<script\0>x</script>", 19);
  EXPECT_EQ(PlaceOf(script, "x").context, Context::Text);
  EXPECT_EQ(ElementOf(script, "x"), std::string("script\0", 7));
  EXPECT_EQ(ElementOf(std::string("<p\0>x", 5), "x"), std::string("p\0", 2));
  // So are other control bytes, a vertical tab among them (no white space
  // in a tag), with sixteen bytes to read at once or not.
  for (const std::string tail : {"", "                "}) {
    EXPECT_EQ(ElementOf("<A\x01\x0B\x1F\x7F b=c>x" + tail, "x"), "a\x01\x0B\x1F\x7F")
        << tail.size();
    EXPECT_EQ(ElementOf("<A\x0B\x0C\x0Bb>x" + tail, "x"), "a\x0B") << tail.size();
  }
  for (const std::string& page : {std::string("<ANNOTATION-XML>x<Aa>y"), script,
                                  std::string("<svg><foreignObject><p>x</p></foreignObject>")})
    ExpectSameWhateverAsked(page);
}

TEST(HtmlContextSkipping, AskingInsideATagAndPastThePageEnd) {
  // Several asks inside one tag, in order, then past it: the pieces of the
  // tag one after another, and the tree built from the whole tag.
  const std::string_view page = "<select><option value = 'a>b' selected/ x=y>o</select>q";
  ContextScanner scanner(page);
  EXPECT_EQ(scanner.At(page.find("value")).context, Context::AttributeName);
  EXPECT_EQ(scanner.At(page.find("'a")).context, Context::AttributeValue);
  EXPECT_EQ(scanner.At(page.find("b'")).context, Context::AttributeValue);
  EXPECT_EQ(scanner.At(page.find("selected")).context, Context::AttributeName);
  EXPECT_EQ(scanner.At(page.find("/ x")).context, Context::Tag);
  EXPECT_EQ(scanner.At(page.find("x=")).context, Context::AttributeName);
  EXPECT_EQ(scanner.At(page.find("y>")).context, Context::AttributeValue);
  EXPECT_EQ(scanner.At(page.find("o<")).element, "option");
  EXPECT_EQ(scanner.At(page.find("q")).element, "body");
  ExpectSameWhateverAsked(page);
  // A page that ends inside a tag: past its end, the place of its last byte.
  ContextScanner open("<a b=\"cc");
  EXPECT_EQ(open.At(3).context, Context::AttributeName);
  EXPECT_EQ(open.At(100).context, Context::AttributeValue);
  EXPECT_EQ(open.At(100).element, "a");
  EXPECT_EQ(ContextScanner("<a b").At(50).context, Context::AttributeName);
  EXPECT_EQ(ContextScanner("<p>").At(50).context, Context::Tag);
}

TEST(HtmlContextTags, TheTagReaderSeesTheAttributesTheScannerPlaces) {
  // The reader collects attributes in the scanner's walk over each tag; the
  // scanner asked byte by byte must place each name and value it gives.
  const std::vector<std::string> pages = {
      "<a href=x title='y z'x=1 =q / b/c d='e'>t</a><img src=\"a\"alt=b/>",
      "<input type = password value=\"\" checked><p\ta\n=\rb>",
      "<b a=\"" + std::string(70, 'v') + "\" c>" + std::string(40, ' ') + "<i d>",
      "<FORM ACTION=http://x/ METHOD=post><SELECT NAME=s><OPTION VALUE=1>x</FORM>"};
  for (const std::string& page : pages) {
    ContextScanner scanner(page);
    vx::app::check::TagReader reader(page);
    vx::app::check::Tag tag;
    std::size_t tags = 0;
    while (reader.Next(tag)) {
      ++tags;
      for (const auto& a : tag.attributes) {
        const std::size_t at = static_cast<std::size_t>(a.name.data() - page.data());
        const Place p = scanner.At(at);
        EXPECT_EQ(p.context, Context::AttributeName) << page << " at " << at;
        EXPECT_EQ(p.element, tag.name);
        if (a.value.empty()) continue;
        const std::size_t v = static_cast<std::size_t>(a.value.data() - page.data());
        EXPECT_EQ(scanner.At(v).context, Context::AttributeValue) << page << " at " << v;
      }
    }
    EXPECT_GT(tags, 1u) << page;
  }
}

TEST(HtmlContextTags, AttributeNamesEndAtTheirDelimitersAlone) {
  // Long and short names, near the page's end or not: each ended by white
  // space, '=', '/' or '>'; a control byte other than white space is part
  // of it, and a first '=' too.
  const std::string pad(20, ' ');
  for (std::size_t n = 12; n <= 18; ++n) {
    const std::string name(n, 'k');
    for (const std::string& tail : {std::string(), pad}) {
      EXPECT_EQ(Tags("<p " + name + "=v " + name + "/x>" + tail),
                (std::vector<std::string>{"p " + name + "=v x="}))
          << n << " " << tail.size();
      EXPECT_EQ(Map("<p " + name + ">" + tail).substr(0, n + 4), "ttt" + std::string(n, 'n') + "t")
          << n;
    }
  }
  for (const std::string& tail : {std::string(), pad}) {
    EXPECT_EQ(Tags("<p a\x01\x0B"
                   "b=1 =c d\x0C"
                   "e>" +
                   tail),
              (std::vector<std::string>{"p a\x01\x0B"
                                        "b=1 =c= d= e="}))
        << tail.size();
  }
}

namespace {

// Every byte asked of a scanner telling tags alone and of one with its tree
// from the first byte: wherever the first tells a place, the two agree.
// Returns how many of the tree's tag places the first told. Scanners asked
// only every few bytes, which read past whole tags and text unasked, tell
// the same places.
std::size_t ExpectTagsToldAsWithTheTree(std::string_view page, std::size_t* tag_places) {
  ContextScanner::Ahead with_tree;
  with_tree.skim = false;
  ContextScanner tree(page, with_tree);
  std::vector<Place> places_of;
  std::size_t places = 0;
  for (std::size_t i = 0; i < page.size(); ++i) {
    places_of.push_back(tree.At(i));
    const Context c = places_of.back().context;
    places += c == Context::Tag || c == Context::AttributeName || c == Context::AttributeValue;
  }
  *tag_places = places;
  std::size_t told_densely = 0;
  for (const std::size_t stride : {1, 3, 17, 64, 211, 1000}) {
    // With the tree, reading past whole runs of tags and text a block at a
    // time; and telling tags alone until a place needs the tree, then both:
    // every place as the tree asked at every byte tells it.
    ContextScanner read_on(page, with_tree);
    ContextScanner both(page);
    for (std::size_t i = stride / 2; i < page.size(); i += stride) {
      const Place r = read_on.At(i);
      const Place b = both.At(i);
      EXPECT_EQ(Letter(r.context), Letter(places_of[i].context))
          << "at " << i << ", every " << stride;
      EXPECT_EQ(r.element, places_of[i].element) << "at " << i << ", every " << stride;
      EXPECT_EQ(Letter(b.context), Letter(places_of[i].context))
          << "at " << i << ", every " << stride;
      EXPECT_EQ(b.element, places_of[i].element) << "at " << i << ", every " << stride;
    }
    ContextScanner tags(page);
    // Read piece by piece rather than a block at a time, and read through
    // the stretches it jumps over: the same answers.
    ContextScanner::Ahead by_piece;
    by_piece.blocks = false;
    ContextScanner pieces(page, by_piece);
    ContextScanner::Ahead reading_all;
    reading_all.jumps = false;
    ContextScanner all(page, reading_all);
    for (std::size_t i = stride / 2; i < page.size(); i += stride) {
      const std::optional<Place> t = tags.TagPlaceAt(i);
      for (ContextScanner* other : {&pieces, &all}) {
        const std::optional<Place> o = other->TagPlaceAt(i);
        EXPECT_EQ(t.has_value(), o.has_value())
            << "at " << i << ", asked every " << stride << (other == &all ? ", read" : "");
        if (t && o) {
          EXPECT_EQ(Letter(t->context), Letter(o->context)) << "at " << i;
          EXPECT_EQ(t->element, o->element) << "at " << i;
        }
      }
      if (!t) continue;
      told_densely += stride == 1;
      const Place& p = places_of[i];
      EXPECT_EQ(Letter(t->context), Letter(p.context))
          << "at " << i << ", asked every " << stride << ", of " << page;
      EXPECT_EQ(t->element, p.element)
          << "at " << i << ", asked every " << stride << ", of " << page;
    }
  }
  return told_densely;
}

}  // namespace

TEST(HtmlContextTagsAlone, TagsOfEveryShapeAreToldAsWithTheTree) {
  const std::string pad(50, 'x');
  const std::string long_value(300, 'v');
  std::string markup;
  for (int i = 0; i < 9; ++i) markup += "<span class=\"c" + std::to_string(i) + "\">t</span> ";
  // Quotes, '=' and '/' where a reader that skips a tree's say could
  // misread them, long names and values, at the page's start, after raw
  // text and in it.
  for (const std::string& tag : {std::string("<a b=\"c>d\" e=\"f\">"),
                                 std::string("<a b='c>d' e=\"f\">"),
                                 std::string("<a b = \"c>d\">"),
                                 std::string("<a b=c/>"),
                                 std::string("<a b=c=\"d>e\">"),
                                 std::string("<a b\"c=\"d>e\">"),
                                 std::string("<a =\"b>c\">"),
                                 std::string("<a b=\"c\"=\"d>\">"),
                                 std::string("<a b=\"c\"d=\"e>\">"),
                                 std::string("<a/=\"b>c\">"),
                                 std::string("<br/>"),
                                 std::string("<br />"),
                                 std::string("<a b=\"c\"/>"),
                                 std::string("<a b=\"/\">"),
                                 std::string("<a b=\"c\" / >"),
                                 std::string("<a b=\"\">"),
                                 std::string("<a b==\"c>\">"),
                                 std::string("<a b=\"c\t\"\fd=\"\n>\"\r>"),
                                 "<a " + pad + "=\"" + pad + ">\">",
                                 "<a b=\"" + pad + "\" " + pad + "=\"" + pad + "'>\" c=\"d\">",
                                 "<a " + std::string(62, 'n') + "=\"x>\">",
                                 "<a " + std::string(61, 'n') + "=\"x>\">",
                                 "<a b=\"" + long_value + "\">",
                                 "<a b=\"" + long_value + "\"/>",
                                 "<a b=\"c\" " + std::string(60, ' ') + "d=" + pad + ">"}) {
    for (const std::string& page : {tag + "t<p q=\"r\">" + pad + pad,
                                    "<!DOCTYPE html><div>" + pad + tag + "<i>" + pad + pad + pad,
                                    "<script>" + pad + "</script >" + tag + pad + pad,
                                    "<p>" + tag + "</a b=\"c>\">" + pad + pad + tag,
                                    "<textarea>" + tag + pad + "</textarea>" + tag + pad,
                                    // Ordinary markup around, that is read a block at a time.
                                    markup + tag + markup + "x > y" + markup + tag + markup}) {
      std::size_t places = 0;
      EXPECT_EQ(ExpectTagsToldAsWithTheTree(page, &places), places) << page;
    }
  }
}

std::string Repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Read with the tree, whole runs of ordinary tags and text are taken a
// block at a time; what the tree does with each of them is what it does
// piece by piece, whatever the insertion mode: text that implies a body or
// goes before a table, tags that open and close formatting, lists and
// tables, an integration point's content with svg around it, and the
// places after the run.
TEST(HtmlContextTree, RunsReadByBlocksLeaveTheTreeAsPieceByPiece) {
  std::string markup;
  for (int i = 0; i < 6; ++i) markup += "<span class=\"c" + std::to_string(i) + "\">t</span> ";
  const std::string spaces(80, ' ');
  for (const std::string& run : {
           std::string("<meta name=\"a\" content=\"b\">") + spaces + "<link rel=\"x\">" + spaces,
           "<meta name=\"a\">x<div class=\"d\">" + markup,
           "<table class=\"t\">" + spaces + "<tr class=\"r\"><td class=\"d\">" + markup +
               "</td></tr>x<tr>y" + markup,
           "<table><colgroup class=\"c\">" + spaces + "<col class=\"x\">z<tr><td>" + markup,
           "<ul class=\"u\"><li>a<li>b<p>c<li>d</ul><dl><dt>e<dd>f<dt>g</dl>" + markup,
           "<b class=\"b\"><i>x<p>y</b>z</i>w</p>" + markup + "<a href=\"h\">u<a href=\"v\">w" +
               markup,
           "<svg><foreignObject class=\"f\"><div class=\"d\">" + markup +
               "</div></foreignObject><x/><y>t</y><z a=\"b\">" + markup,
           "<svg><foreignObject><p>" + markup + "</p></foreignObject><font color=\"r\">" + markup,
           "<template class=\"t\"><tr><td>" + markup + "</td></tr></template>" + markup,
           "<div>" + markup + "</div></body>" + spaces + "x" + markup + "</html>y" + markup,
           "<frameset class=\"f\">" + spaces + "<frame class=\"g\">" + spaces + "</frameset>" +
               spaces + "x" + markup,
           // End tags whose names only begin like the innermost element's,
           // or that close it where the body's rules do not hold: in the
           // head, past the depth kept, in a template.
           "<b class=\"x\"><span>a</spanx>b" + markup + "</span></bb>c</b>d</B >e" + markup,
           "<head><noscript class=\"n\"><link rel=\"x\"></noscript>" + spaces +
               "<meta name=\"b\">x" + markup,
           "<head><template><span>a</span></template>" + spaces + "</head>x" + markup,
           Repeat("<i class=\"i\">", 1100) + markup + Repeat("</i>", 1100) + "x" + markup,
       }) {
    for (const std::string& page : {run, "<html><head>" + run + markup, markup + run + run}) {
      std::size_t places = 0;
      ExpectTagsToldAsWithTheTree(page, &places);
      if (HasFailure()) return;
    }
  }
}

// Asked first at one place and then at another further on, by a scanner
// that jumps and by one that reads every byte, for pairs of places all over
// the page: the same tags are told, as the tree tells them.
void ExpectJumpsToldAsRead(std::string_view page) {
  ContextScanner::Ahead with_tree;
  with_tree.skim = false;
  ContextScanner tree(page, with_tree);
  std::vector<Place> places_of;
  for (std::size_t i = 0; i < page.size(); ++i) places_of.push_back(tree.At(i));
  ContextScanner::Ahead reading_all;
  reading_all.jumps = false;
  for (std::size_t i = 0; i < page.size(); i += 3) {
    ContextScanner jumping(page);
    ContextScanner reading(page, reading_all);
    for (const std::size_t at : {i / 3, i}) {
      const std::optional<Place> j = jumping.TagPlaceAt(at);
      const std::optional<Place> r = reading.TagPlaceAt(at);
      ASSERT_EQ(j.has_value(), r.has_value()) << "at " << at << " after " << i / 3;
      if (!j) continue;
      ASSERT_EQ(Letter(j->context), Letter(places_of[at].context)) << "at " << at;
      ASSERT_EQ(j->element, places_of[at].element) << "at " << at;
    }
  }
}

// Asked far apart, the tags alone jump over stretches of ordinary markup
// to a '>' after which the tokenizer is surely in the data state. Whatever
// the stretch holds that could make a '>' in it no tag's end (a value with
// quotes or '>' in it, a comment, raw text, svg, a dropped "</>"), the
// places told are those of reading every byte.
TEST(HtmlContextTagsAlone, StretchesJumpedOverAreToldAsRead) {
  std::string filler;
  for (int i = 0; i < 12; ++i)
    filler += "<p class=\"c\">it's \"so\" <a href=\"x" + std::to_string(i) + "\">y</a></p>\n";
  // Without quotes, for values that run on through it.
  std::string plain;
  for (int i = 0; i < 12; ++i) plain += "<p><b>so</b> <a>y" + std::to_string(i) + "</a></p>\n";
  const std::string ask = "<form action=\"a\"><input name=\"n\"></form>";
  // The plain page: most of it is jumped over.
  {
    const std::string page = "<html><head><title>t</title></head><body>" + filler + filler + ask +
                             filler + filler + ask + filler;
    ContextScanner tags(page);
    for (std::size_t at = page.find("<form"); at != std::string::npos;
         at = page.find("<form", at + 1)) {
      const std::optional<Place> p = tags.TagPlaceAt(at);
      ASSERT_TRUE(p.has_value());
      EXPECT_EQ(Letter(p->context), 't');
      EXPECT_EQ(p->element, "form");
    }
    EXPECT_LT(tags.bytes_read(), page.size() / 4);
    std::size_t places = 0;
    EXPECT_EQ(ExpectTagsToldAsWithTheTree(page, &places), places);
  }
  std::string many_tags;
  for (int i = 0; i < 330; ++i) many_tags += "<b>";
  for (const std::string& inside : {
           // Values that hold a '>', quoted after white space or not, and
           // quotes in the text that only look like a value's.
           "<a title=\"x>" + plain + "\">",
           "<a title='x>" + plain + "'>",
           "<a title =\r\n \"x>" + plain + "\">",
           "<a title=\t'x>\"" + plain + "'>",
           "x=\"" + plain + "\"",
           "x='" + plain,
           "<a b=\"c\" title='x>\"" + plain + "'>",
           "<a b=c>d>" + filler,
           "<a b=\"c\"d=\"e>" + filler + "\">",
           "<a=\"b>" + filler + "\">",
           // Comments and what only begins like one.
           "<!-- " + filler + " -->",
           "<!--" + filler,
           "<!-x>" + filler,
           "<!doctype html \"a>b\">" + filler,
           "<?x " + filler + "?>",
           "</ x>" + filler,
           "</>" + filler,
           "x</><svg><a/></svg>" + filler,
           // Raw text, svg and what the tree alone follows.
           "<script>var a = '<b>';" + filler + "</script>",
           "<SCRIPT>" + filler + "</SCRIPT>",
           "<script><!--<script>" + filler + "</script>-->" + filler + "</script>",
           "<style>" + filler + "</style>",
           "<title>" + filler + "</title>",
           "<textarea>" + filler + "</textarea>",
           "<xmp>" + filler + "</xmp>",
           "<noscript>" + filler + "</noscript>",
           "<svg><![CDATA[" + filler + "]]></svg>",
           "<svg>" + filler + "</svg>",
           "<math>" + filler + "</math>",
           "<select>" + filler + "</select>",
           "<plaintext>" + filler,
           // Start tags enough that an svg after them needs the tree, some
           // of them jumped over.
           many_tags + filler + "<svg><g/></svg>",
           many_tags + "<a title=\"<b><b>\">" + filler + "<svg><g/></svg>",
           // Right at the count past which an svg needs the tree, with a
           // start tag between the '>' jumped to and the svg that stopped
           // the jump.
           Repeat("<b>", 255) + "x<i <svg>" + plain + "<svg><g/></svg>",
           Repeat("<b>", 256) + "x<i <svg>" + plain + "<svg><g/></svg>",
           Repeat("<b>", 257) + "x<i <svg>" + plain + "<svg><g/></svg>",
       }) {
    const std::string page = "<body>" + filler + inside + filler + ask + filler + ask;
    std::size_t places = 0;
    ExpectTagsToldAsWithTheTree(page, &places);
    ExpectJumpsToldAsRead(page);
    if (HasFailure()) {
      ADD_FAILURE() << "in a page holding " << inside.substr(0, 40);
      return;
    }
  }
}

TEST(HtmlContextTagsAlone, SvgIsFollowedUntilItsContentNeedsTheTree) {
  const std::string pad(70, 'x');
  struct Case {
    std::string page;
    bool all_told;  // every tag told without the tree
  };
  for (const Case& c : std::vector<Case>{
           // An svg's own elements and its end: then HTML again, raw text too.
           {"<p><svg><g><path d=\"m\"/><Circle r=1></circle></g></svg><script>x<b>" + pad +
                "</script><b>",
            true},
           {"<svg/><style>a<i>b</style>" + pad + "<i>", true},
           // Inside svg, script and style switch nothing; CDATA is a section.
           {"<svg><style>a<q>b</style><![CDATA[<q>]]><g>" + pad + "</g></svg><i>", true},
           // An end tag closes the innermost element of its name, deeper too.
           {"<svg><g><a><rect></g></svg><title>t<i>" + pad + "</title><i>", true},
           // What goes by the tree's rules: a breakout tag, an integration
           // point, an end tag naming none, an attribute after the name.
           {"<svg><g><div>a<style>b<i>" + pad + "</style><i>", false},
           {"<svg><foreignObject><style>b<i>" + pad + "</style><i>", false},
           {"<svg><desc><style>b<i>" + pad + "</style></desc></svg><i>", false},
           {"<svg><g></p><style>b<i>" + pad + "</style><i>", false},
           {"<svg><g></g x><style>b<i>" + pad + "</style><i>", false},
           {"<svg><font color=red><style>b<i>" + pad + "</style><i>", false},
           {"<math><mi><style>b<i>" + pad + "</style><i>", false},
           {"<select><style>b<i>" + pad + "</style><i>", false},
           {"x</><svg><g></g></svg><style>b<i>" + pad + "</style><i>", false},
       }) {
    std::size_t places = 0;
    const std::size_t told = ExpectTagsToldAsWithTheTree(c.page, &places);
    if (c.all_told) {
      EXPECT_EQ(told, places) << c.page;
    } else {
      EXPECT_LT(told, places) << c.page;
    }
    // Asked for every byte, the scanner takes the tree up where needed.
    ExpectSameWhateverAsked(c.page);
  }
}
