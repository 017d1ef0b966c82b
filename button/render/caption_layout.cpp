// Caption layout: cuts the caption into lines, truncates over-long words,
// places the lines, the access-key underline and the icon on the surface.
//
// Positions and lengths are counted in characters. A character is a lead byte
// with the continuation bytes after it, the rule SetAccessKey counts by, so
// AccessKeyPos lands on the same character here and no UTF-8 sequence is ever
// split.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "button/render/painter.h"
#include "platform/text/font.h"

namespace vx::render {
namespace {

using button::CaptionLine;

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

int CharCount(std::string_view s) {
  int n = 0;
  for (char c : s) n += IsContinuation(c) ? 0 : 1;
  return n;
}

// Byte offset of the character with 0-based index n, or s.size() past the end.
std::size_t ByteOfChar(std::string_view s, int n) {
  if (n <= 0) return 0;
  int seen = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (IsContinuation(s[i])) continue;
    if (seen == n) return i;
    ++seen;
  }
  return s.size();
}

std::string_view LeftChars(std::string_view s, int n) {
  return s.substr(0, ByteOfChar(s, n));
}

std::string_view RTrim(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The character at 1-based position p (empty outside the text).
std::string_view CharAt(std::string_view s, int p) {
  const std::size_t from = ByteOfChar(s, p - 1);
  return s.substr(from, ByteOfChar(s, p) - from);
}

// The displayed caption: "&&" shows as "&", and the marker in front of the
// key character (at AccessKeyPos once the pairs are single) is dropped.
void DisplayedText(const std::string& caption, int access_key_pos, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < caption.size(); ++i) {
    out.push_back(caption[i]);
    if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] == '&') ++i;
  }
  if (access_key_pos > 0) {
    const std::size_t from = ByteOfChar(out, access_key_pos - 1);
    out.erase(from, ByteOfChar(out, access_key_pos) - from);
  }
}

// A room size stored in a signed 16-bit field. Clamped, not wrapped: a
// surface wider than the field holds is still wide, not negative.
int Store16(long long v) {
  return static_cast<int>(std::clamp<long long>(v, std::numeric_limits<std::int16_t>::min(),
                                                std::numeric_limits<std::int16_t>::max()));
}

// Offsets indexed by ButtonStyle. A style outside 0..3 can only come from a
// restored property set; the caption is then placed as on a rectangular
// button rather than left unplaced.
int ByStyle(Long style, int rectangular, int left, int middle, int right) {
  switch (style) {
    case button::LeftSegment:
      return left;
    case button::MiddleSegment:
      return middle;
    case button::RightSegment:
      return right;
    default:
      return rectangular;
  }
}

// Where the access key landed among the lines, when it did: its line, its
// character position in that line and the width of its underline.
struct KeyPlace {
  bool placed = false;
  int line = 0;
  int pos = 0;
  int underline_length = 0;
};

// The word wrap of the caption over a working text whose front is cut off
// line by line. Positions (the break, the line start, the access key) count
// characters; byte offsets are derived where the text is cut.
class Wrapper {
 public:
  Wrapper(Painter& painter, std::vector<CaptionLine>& lines, int available, int key_pos)
      : painter_(painter), lines_(lines), available_(available) {
    key_.pos = key_pos;
  }

  void OneLine(std::string_view displayed) {
    text_.assign(displayed);
    break_ = CharCount(text_);
    Emit();
  }

  void Wrap(std::string_view displayed, int max_lines) {
    text_.assign(displayed);
    text_.push_back(' ');
    int start = 0;  // where the search for the next space starts, with its byte offset
    std::size_t start_byte = 0;
    break_ = 0;
    for (;;) {
      const std::size_t space = text_.find(' ', start_byte);
      if (space == std::string::npos || count_ == max_lines) {
        if (count_ != max_lines) Emit();
        break;
      }
      const std::string_view t(text_);
      // The character position of the space, counted from 1.
      const int at_space = start + CharCount(t.substr(start_byte, space - start_byte)) + 1;
      const std::string_view candidate = RTrim(t.substr(0, space + 1));
      const int c = painter_.MeasureText(candidate).cx;
      if (c > available_ && break_ != 0) {
        // The line up to the last break, which keeps its value for the next
        // line.
        Emit();
        start = 0;
        start_byte = 0;
      } else {
        break_ = at_space;
        start = at_space;
        start_byte = space + 1;
        if (c > available_) {
          // The first word of the line alone is too wide.
          Truncate(candidate, space + 1);
          start = 0;
          start_byte = 0;
          break_ = 0;
        }
      }
    }
  }

  // Whatever the working text still holds, up to the break.
  void Finish() { Emit(); }

  KeyPlace key() const { return key_; }

 private:
  // Emits the line up to the break and cuts it off the working text.
  void Emit() {
    if (text_.empty()) return;
    lines_.resize(static_cast<std::size_t>(count_) + 1);
    const std::size_t cut = ByteOfChar(text_, break_);
    const std::string_view line = RTrim(std::string_view(text_).substr(0, cut));
    if (!key_.placed && key_.pos != 0) {
      const int length = CharCount(line);
      if (key_.pos > length) {
        // The key lies on a later line: step over this line and the space
        // that ended it.
        key_.pos = key_.pos - length - 1;
      } else {
        key_.underline_length = painter_.MeasureText(CharAt(text_, key_.pos)).cx;
        key_.line = count_;
        key_.placed = true;
      }
    }
    const text::TextExtent e = painter_.MeasureText(line);
    CaptionLine& out = lines_[static_cast<std::size_t>(count_)];
    out.X = 0;
    out.Y = 0;
    out.Width = e.cx;
    out.Height = e.cy;
    out.Text.assign(line);
    ++count_;
    text_.erase(0, cut);
  }

  // Shortens the first word of the line (`candidate`: the text up to the
  // space, trailing spaces trimmed) to a piece ending in "..." and emits it;
  // `rest` is the byte offset just past that space.
  void Truncate(std::string_view candidate, std::size_t rest) {
    const int w = painter_.MeasureText(candidate).cx;
    const int text_chars = CharCount(text_);
    long long m = 1;
    // w is 0 only for an empty candidate (the text begins with a space),
    // which happens only when the available width is negative. available / w
    // then tends to minus infinity, so m takes its floor of 1, the smallest
    // piece, without dividing by zero.
    if (w > 0) {
      const double estimate = std::floor((static_cast<double>(available_) / w) * text_chars);
      m = static_cast<long long>(std::clamp(estimate, -1e15, 1e15)) / 2;
    }
    if (m < 1) m = 1;
    // The estimate runs over the whole remaining text, and the piece is not
    // cut back to the word: a piece reaching past the word shows the words
    // after it, which then follow it again, as the recorded buttons show.
    int piece = static_cast<int>(std::min<long long>(m, text_chars));
    if (piece > 4) piece -= 3;
    std::string joined(LeftChars(text_, piece));
    joined += "...";
    break_ = CharCount(joined);
    joined.append(text_, std::min(rest, text_.size()));
    text_ = std::move(joined);
    Emit();
  }

  Painter& painter_;
  std::vector<CaptionLine>& lines_;
  int available_;     // the width a line may take
  std::string text_;  // the working text
  int break_ = 0;     // where the current line ends
  int count_ = 0;     // lines emitted
  KeyPlace key_;      // its position is relative to the working text until placed
};

// The caption font cannot be selected yet when the layout runs on its own
// (resize, alignment, icon changes): the context then holds the control's own
// font, built here from the surface's font object.
text::Font ControlFont(const Painter& painter, const button::ButtonState& st) {
  host::FontPtr f = painter.site().surface->SurfaceFont();
  if (!f) f = st.TextFont;
  if (!f) return {};
  text::LogFont lf;
  lf.lfHeight = CaptionFontHeight(f->size(), painter.site().screen->TwipsPerPixelY());
  lf.lfWeight = f->weight();
  lf.lfItalic = f->italic() ? 1 : 0;
  lf.lfUnderline = f->underline() ? 1 : 0;
  lf.lfStrikeOut = f->strikethrough() ? 1 : 0;
  lf.lfCharSet = static_cast<std::uint8_t>(f->charset());
  lf.SetFaceName(f->name());
  return text::CreateFontIndirect(lf, CaptionSmoothingOf(st));
}

// What the layout of a caption works from: the button's size and the settings
// that place text and icon, values outside their ranges taken as defaults.
struct LayoutFrame {
  int w = 0;
  int h = 0;
  Long style = button::Rectangular;
  bool has_icon = false;
  bool icon_right = false;
  Long orientation = button::Horizontal;
  Long align = button::AlignCenter;
  int icon_edge = 0;  // the icon's edge in pixels
};

LayoutFrame FrameOf(Painter& painter, const button::ButtonState& st) {
  LayoutFrame f;
  f.w = painter.W();
  f.h = painter.H();
  f.style = st.ButtonStyle;
  f.has_icon = st.HasIcon != kFalse;
  // An icon side other than 1 counts as the left side, the default.
  f.icon_right = st.IconAlignmentValue == button::IconRight;
  f.orientation =
      (st.CaptionOrientation == button::VerticalUp || st.CaptionOrientation == button::VerticalDown)
          ? st.CaptionOrientation
          : button::Horizontal;
  // An alignment outside 0..2 (only from a restored set) is centred.
  f.align = (st.Alignment == button::AlignLeft || st.Alignment == button::AlignRight)
                ? st.Alignment
                : button::AlignCenter;
  f.icon_edge = static_cast<int>(std::clamp<Long>(st.IconSize, -4096, 4096)) * 8;
  return f;
}

// One empty entry, so that a caption with nothing to show still has a line.
void StartLines(std::vector<CaptionLine>& lines) {
  lines.resize(1);
  lines[0].X = lines[0].Y = lines[0].Width = lines[0].Height = 0;
  lines[0].Text.clear();
}

// An icon without caption sits in the middle, off a segment's slant.
void CentreLoneIcon(button::ButtonState& st, const LayoutFrame& f) {
  st.IconX = (f.w - f.icon_edge) / 2 + ByStyle(f.style, 0, -9, 0, 9);
  st.IconY = (f.h - f.icon_edge) / 2;
}

// The room for the text: the width a line may take along its reading
// direction, and the room across it for the lines.
struct TextRoom {
  int available = 0;
  int across = 0;
};

TextRoom RoomForText(const LayoutFrame& f, int icon_gap) {
  if (f.orientation == button::Horizontal) {
    return {Store16(static_cast<long long>(f.w) - icon_gap - 6 - ByStyle(f.style, 6, 18, 42, 18)),
            Store16(f.h)};
  }
  return {Store16(static_cast<long long>(f.h) - 12 - icon_gap), Store16(f.w)};
}

struct BrokenCaption {
  int line_height = 0;  // of the whole displayed text
  KeyPlace key;
};

// Measures the displayed text and cuts it into lines: one line when it fits
// or when no second line would; else wrapped at spaces into as many lines as
// fit across, over-long words shortened.
BrokenCaption BreakIntoLines(Painter& painter, std::vector<CaptionLine>& lines,
                             std::string_view displayed, const TextRoom& room, int key_pos) {
  const text::TextExtent whole = painter.MeasureText(displayed);
  const int line_height = whole.cy;
  Wrapper wrap(painter, lines, room.available, key_pos);
  // An empty caption has nothing to wrap: it stays one empty line even when
  // the available width is negative (a narrow or segmented button), where
  // the wrap would otherwise turn the appended space into a " ..." line.
  if (displayed.empty() || whole.cx <= room.available || line_height > room.across) {
    wrap.OneLine(displayed);
  } else {
    // A line height of 0 means no font could measure the text: one line per
    // row is the most that can be said then.
    int max_lines = line_height > 0 ? room.across / line_height : 1;
    if (max_lines == 0) max_lines = 1;
    wrap.Wrap(displayed, max_lines);
    wrap.Finish();
  }
  return {line_height, wrap.key()};
}

// The text origin of line i of n, read left to right; `gap` is the room the
// icon takes on the text's near side.
void PlaceHorizontalLine(CaptionLine& line, int i, int n, const LayoutFrame& f, int gap) {
  const int top = (f.h - n * line.Height) / 2;
  line.Y = i * line.Height + top;
  if (f.align == button::AlignLeft) {
    line.X = gap + ByStyle(f.style, 6, 6, 18, 18);
  } else if (f.align == button::AlignCenter) {
    int d;
    if (!f.has_icon) {
      d = ByStyle(f.style, 0, -18, 0, 18) / 2;
    } else if (!f.icon_right) {
      d = (gap - ByStyle(f.style, 0, 18, 0, 0)) / 2;
    } else {
      d = -((gap + ByStyle(f.style, 0, 18, 0, 0)) / 2);
    }
    line.X = (f.w - line.Width) / 2 + d;
  } else {
    line.X = f.w - (line.Width + gap + ByStyle(f.style, 6, 18, 18, 6));
  }
}

// The same for a line read upwards or downwards.
void PlaceVerticalLine(CaptionLine& line, int i, int n, const LayoutFrame& f, int gap,
                       int line_height) {
  const bool up = f.orientation == button::VerticalUp;
  const int left = (f.w - n * line.Height) / 2;
  int base;
  if (up) {
    line.X = std::abs(i * line_height + left);
    base = f.h;
  } else {
    line.X = std::abs(i * line_height - f.w + left);
    base = 0;
  }
  if (f.align == button::AlignLeft) {
    line.Y = std::abs(base - gap - 6);
  } else if (f.align == button::AlignCenter) {
    const int half = (up == !f.icon_right) ? gap / 2 : -(gap / 2);
    line.Y = std::abs(base - (f.h - line.Width) / 2) - half;
  } else {
    line.Y = f.h - std::abs(base - (line.Width + gap + 6));
  }
}

// Text origins of the lines, by orientation and alignment.
void PlaceLines(std::vector<CaptionLine>& lines, const LayoutFrame& f, int line_height) {
  const int n = static_cast<int>(lines.size());
  // The icon gap, left out where the icon sits beyond the text's far side.
  const bool far_side = (f.icon_right && f.align == button::AlignLeft) ||
                        (!f.icon_right && f.align == button::AlignRight);
  const int gap = (f.has_icon && !far_side) ? f.icon_edge + 5 : 0;
  for (int i = 0; i < n; ++i) {
    CaptionLine& line = lines[static_cast<std::size_t>(i)];
    if (f.orientation == button::Horizontal) {
      PlaceHorizontalLine(line, i, n, f, gap);
    } else {
      PlaceVerticalLine(line, i, n, f, gap, line_height);
    }
  }
}

// The rectangle the placed lines cover.
button::RectL BoundingRect(const std::vector<CaptionLine>& lines, const LayoutFrame& f) {
  button::RectL rect;
  const CaptionLine& first = lines.front();
  const CaptionLine& last = lines.back();
  int widest = 0;
  for (const CaptionLine& line : lines) widest = std::max(widest, line.Width);
  if (f.orientation == button::Horizontal) {
    int left = f.w;
    for (const CaptionLine& line : lines) left = std::min(left, line.X);
    rect.Top = first.Y;
    rect.Bottom = last.Y + first.Height;
    rect.Left = left;
    rect.Right = left + widest;
  } else if (f.orientation == button::VerticalUp) {
    int top = f.h;
    for (const CaptionLine& line : lines) top = std::min(top, std::abs(line.Y - line.Width));
    rect.Left = first.X;
    rect.Right = last.X + last.Height;
    rect.Top = top;
    rect.Bottom = top + widest;
  } else {
    int top = f.h;
    for (const CaptionLine& line : lines) top = std::min(top, line.Y);
    rect.Left = last.X - first.Height;
    rect.Right = first.X;
    rect.Top = top;
    rect.Bottom = top + widest;
  }
  return rect;
}

// The access-key underline under (or beside) its character.
void PlaceUnderline(Painter& painter, button::ButtonState& st, const LayoutFrame& f,
                    const KeyPlace& key) {
  const CaptionLine& line = st.CaptionLines[static_cast<std::size_t>(key.line)];
  const int u = painter.MeasureText(LeftChars(line.Text, key.pos)).cx;
  const int length = Store16(key.underline_length);
  st.UnderlineLength = static_cast<std::int16_t>(length);
  if (f.orientation == button::Horizontal) {
    st.UnderlineX = line.X + u - length;
    st.UnderlineY = line.Y + line.Height;
  } else if (f.orientation == button::VerticalUp) {
    st.UnderlineX = line.X + line.Height;
    st.UnderlineY = line.Y - u;
  } else {
    st.UnderlineX = line.X - line.Height;
    st.UnderlineY = line.Y + u - length;
  }
}

// The icon beside the caption, on its side.
void PlaceIconBeside(button::ButtonState& st, const LayoutFrame& f, const button::RectL& rect) {
  if (f.orientation == button::Horizontal) {
    st.IconX = f.icon_right ? rect.Right + 5 : rect.Left - f.icon_edge - 5;
    st.IconY = (rect.Bottom - rect.Top - f.icon_edge) / 2 + rect.Top;
  } else {
    st.IconX = (rect.Right - rect.Left - f.icon_edge) / 2 + rect.Left;
    const bool below = (f.orientation == button::VerticalUp) == !f.icon_right;
    st.IconY = below ? rect.Bottom + 5 : rect.Top - f.icon_edge - 5;
  }
}

// The caption rectangle grown by 2 and moved up and left by 1, as the focus
// mark that rings it wants it.
void GrowForFocusMark(button::RectL& rect) {
  rect.Left -= 3;
  rect.Top -= 3;
  rect.Right += 1;
  rect.Bottom += 1;
}

// The whole layout, with the font selected now.
void LayoutCaption(Painter& painter) {
  button::ButtonState& st = painter.s();
  const LayoutFrame f = FrameOf(painter, st);
  StartLines(st.CaptionLines);
  std::string displayed;
  DisplayedText(st.Caption, st.AccessKeyPos, displayed);
  if (f.has_icon && st.Caption.empty()) {
    CentreLoneIcon(st, f);
    return;
  }
  const TextRoom room = RoomForText(f, f.has_icon ? f.icon_edge + 5 : 0);
  const BrokenCaption broken =
      BreakIntoLines(painter, st.CaptionLines, displayed, room, st.AccessKeyPos);
  PlaceLines(st.CaptionLines, f, broken.line_height);
  st.CaptionRect = BoundingRect(st.CaptionLines, f);
  if (broken.key.placed) PlaceUnderline(painter, st, f, broken.key);
  if (f.has_icon) PlaceIconBeside(st, f, st.CaptionRect);
  GrowForFocusMark(st.CaptionRect);
}

}  // namespace

text::TextExtent Painter::MeasureText(std::string_view text) {
  return text::MeasureText(ps().selected_font, text);
}

void Painter::CalculateLayout() {
  if (ps().selected_font) {
    LayoutCaption(*this);
    return;
  }
  // Measure with the control's own font for the duration, then leave the
  // context as it was, whatever happens.
  text::Font previous = SelectFont(ControlFont(*this, s()));
  try {
    LayoutCaption(*this);
  } catch (...) {
    text::Font own = SelectFont(std::move(previous));
    text::DeleteObject(own);
    throw;
  }
  text::Font own = SelectFont(std::move(previous));
  text::DeleteObject(own);
}

std::pair<int, int> CaptionSizeHint(button::TorvelButton& button) {
  PainterState scratch;
  Painter painter(button, scratch);
  const button::ButtonState& st = button.state();
  std::string displayed;
  DisplayedText(st.Caption, st.AccessKeyPos, displayed);
  text::Font font = ControlFont(painter, st);
  text::TextExtent extent{};
  if (font) {
    extent = text::MeasureText(font, displayed.empty() ? std::string_view("X") : displayed);
    text::DeleteObject(font);
  }
  if (displayed.empty()) extent.cx = 0;
  const int icon =
      st.HasIcon != kFalse ? static_cast<int>(std::clamp<Long>(st.IconSize, 1, 4)) * 8 : 0;
  const int gap = icon > 0 && !displayed.empty() ? icon + 5 : icon;
  // The room the layout leaves around the text on this outline, so that the
  // whole caption fits on one line, and a margin of 5 pixels on each side.
  constexpr int kMargin = 10;
  const int across = std::max(extent.cy, icon) + kMargin;
  if (st.CaptionOrientation == button::VerticalUp ||
      st.CaptionOrientation == button::VerticalDown) {
    return {across, extent.cx + gap + 12 + kMargin};
  }
  const int along = extent.cx + gap + 6 + ByStyle(st.ButtonStyle, 6, 18, 42, 18) + kMargin;
  return {along, across};
}

}  // namespace vx::render
