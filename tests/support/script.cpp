#include "tests/support/script.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "platform/gdi/dc.h"
#include "platform/gdi/raster.h"
#include "platform/gdi/region.h"

namespace vx::gdi {

namespace {

Icon MakeTestPicture() {
  static const char* const kRows[16] = {
      "  KKKKKKKKKKKK  ", " K............K ", "K..RRRR....BB..K", "K..RRRR...BB...K",
      "K..RRRR..BB....K", "K..RRRR.BB.....K", "K.......B......K", "KGGGGGGGGGGGGGGK",
      "KDDDDDDDDDDDDDDK", "K.YYYY....FFFF.K", "K.YYYY....FFFF.K", "K.YYYY....FFFF.K",
      "K......KK......K", "K.....K..K.....K", " K...........K  ", "  KKKKKKKKKKK   ",
  };
  Icon icon{Surface(16, 16), Mask(16, 16)};
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      ColorRef c = 0;
      switch (kRows[y][x]) {
        case '.':
          c = 0xFFFFFF;
          break;
        case 'R':
          c = 0x0000FF;
          break;
        case 'B':
          c = 0xFF0000;
          break;
        case 'G':
          c = 0xC0C0C0;
          break;
        case 'D':
          c = 0x808080;
          break;
        case 'Y':
          c = 0x00FFFF;
          break;
        case 'F':
          c = 0xC8D0D4;
          break;
        case ' ':
          icon.transparent.set(x, y, true);
          break;
        default:
          break;  // 'K' black
      }
      icon.color.set(x, y, c);
    }
  }
  return icon;
}

// One line's words after the operation name.
class Args {
 public:
  Args(std::vector<std::string_view> words, std::string* fault)
      : words_(std::move(words)), fault_(fault) {}

  std::size_t size() const { return words_.size(); }
  bool Expect(std::size_t n) {
    if (words_.size() == n) return true;
    return Fault("expects " + std::to_string(n) + " arguments, got " +
                 std::to_string(words_.size()));
  }
  std::string Text(std::size_t i) const { return std::string(words_[i]); }

  // C-syntax integer; colours up to 0xFFFFFFFF wrap into int.
  int Int(std::size_t i) {
    const std::string w(words_[i]);
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(w.c_str(), &end, 0);
    if (w.empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > UINT32_MAX) {
      Fault("bad number '" + w + "'");
      return 0;
    }
    return static_cast<int>(static_cast<std::uint32_t>(v));
  }
  ColorRef Color(std::size_t i) { return static_cast<ColorRef>(Int(i)); }

  std::vector<Point> Points() {
    std::vector<Point> pts;
    if (words_.size() % 2 != 0 || words_.empty()) {
      Fault("expects x y pairs");
      return pts;
    }
    for (std::size_t i = 0; i < words_.size(); i += 2) pts.push_back({Int(i), Int(i + 1)});
    return pts;
  }

  bool Fault(std::string message) {
    if (fault_->empty()) *fault_ = std::move(message);
    return false;
  }

 private:
  std::vector<std::string_view> words_;
  std::string* fault_;
};

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// Scripts describe small test pictures; refuse sizes that would only
// exhaust memory.
bool SaneSize(int n) {
  return n >= 0 && n <= (1 << 14);
}

class Interpreter {
 public:
  Interpreter(ScriptOutput& out, const ScriptPalette& palette) : out_(out), palette_(palette) {}

  // Runs one operation; false with `fault` set when the line is bad.
  bool Run(std::string_view op, Args& a, std::string& fault) {
    if (op == "canvas") {
      if (!a.Expect(3)) return false;
      const int w = a.Int(0), h = a.Int(1);
      if (!SaneSize(w) || !SaneSize(h)) return a.Fault("canvas size out of range");
      out_.canvas = Surface(w, h, RgbOf(a.Color(2)));
      dc_.emplace(out_.canvas);
      buffer_.reset();
      region_ = Region();
      return fault.empty();
    }
    if (!dc_) return a.Fault("no canvas yet");
    Dc& dc = *dc_;
    if (op == "fillrect" || op == "framerect") {
      if (!a.Expect(5)) return false;
      const Rect r{a.Int(0), a.Int(1), a.Int(2), a.Int(3)};
      const Brush brush = CreateSolidBrush(a.Color(4));
      if (op == "fillrect") {
        dc.FillRect(r, brush);
      } else {
        dc.FrameRect(r, brush);
      }
      DeleteObject(brush);
    } else if (op == "pen") {
      if (!a.Expect(1)) return false;
      DeleteObject(dc.SelectObject(CreatePen(a.Color(0))));
    } else if (op == "moveto") {
      if (!a.Expect(2)) return false;
      dc.MoveToEx(a.Int(0), a.Int(1));
    } else if (op == "lineto") {
      if (!a.Expect(2)) return false;
      dc.LineTo(a.Int(0), a.Int(1));
    } else if (op == "polygon") {
      const std::vector<Point> pts = a.Points();
      if (fault.empty()) dc.Polygon(pts);
    } else if (op == "setpixel") {
      if (!a.Expect(3)) return false;
      dc.SetPixelV(a.Int(0), a.Int(1), a.Color(2));
    } else if (op == "focusrect") {
      if (!a.Expect(4)) return false;
      dc.DrawFocusRect({a.Int(0), a.Int(1), a.Int(2), a.Int(3)});
    } else if (op == "gradient") {
      if (!a.Expect(7)) return false;
      const TriVertex v0 = MakeVertex(a.Int(0), a.Int(1), a.Color(2));
      const TriVertex v1 = MakeVertex(a.Int(3), a.Int(4), a.Color(5));
      GradientFill(dc.surface(), v0, v1, a.Int(6));
    } else if (op == "buffer") {
      if (!a.Expect(2)) return false;
      const int size = a.Int(0);
      if (!SaneSize(size)) return a.Fault("buffer size out of range");
      buffer_.emplace(size, size, RgbOf(a.Color(1)));
    } else if (op == "stretchblt") {
      if (!a.Expect(8)) return false;
      Surface& target = buffer_ ? *buffer_ : out_.canvas;
      StretchBlt(target, a.Int(0), a.Int(1), a.Int(2), a.Int(3), out_.canvas, a.Int(4), a.Int(5),
                 a.Int(6), a.Int(7));
    } else if (op == "blt_buffer") {
      if (!a.Expect(2)) return false;
      if (!buffer_) return a.Fault("no buffer");
      BitBlt(out_.canvas, a.Int(0), a.Int(1), buffer_->width(), buffer_->height(), *buffer_, 0, 0);
    } else if (op == "dump" || op == "dump_buffer") {
      if (!a.Expect(1)) return false;
      if (op == "dump_buffer" && !buffer_) return a.Fault("no buffer");
      out_.pictures.emplace_back(a.Text(0), op == "dump" ? out_.canvas : *buffer_);
    } else if (op == "drawstate_disabled") {
      if (!a.Expect(5)) return false;
      const std::string kind = a.Text(0);
      if (kind != "bitmap" && kind != "icon") return a.Fault("expects bitmap or icon");
      const Icon& pic = ScriptTestPicture();
      DrawStateDisabled(dc.surface(), a.Int(1), a.Int(2), a.Int(3), a.Int(4), pic.color,
                        kind == "icon" ? &pic.transparent : nullptr, palette_.btn_highlight,
                        palette_.btn_shadow);
    } else if (op == "rgn_polygon") {
      const std::vector<Point> pts = a.Points();
      if (fault.empty()) region_ = CreatePolygonRgn(pts, FillMode::kWinding);
    } else if (op == "rgn_rect" || op == "rgn_diff") {
      if (!a.Expect(4)) return false;
      const Region r = CreateRectRgn(a.Int(0), a.Int(1), a.Int(2), a.Int(3));
      if (op == "rgn_rect") {
        region_ = r;
      } else {
        CombineRgn(region_, region_, r, RegionOp::kDiff);
      }
    } else if (op == "rgn_dump") {
      if (!a.Expect(1)) return false;
      out_.masks.emplace_back(a.Text(0), region_.ToMask(out_.canvas.width(), out_.canvas.height()));
    } else {
      return a.Fault("unknown operation");
    }
    return fault.empty();
  }

 private:
  ScriptOutput& out_;
  const ScriptPalette& palette_;
  std::optional<Dc> dc_;
  std::optional<Surface> buffer_;
  Region region_;
};

}  // namespace

const Icon& ScriptTestPicture() {
  static const Icon picture = MakeTestPicture();
  return picture;
}

bool RunScript(std::string_view text, ScriptOutput& out, std::string* error,
               const ScriptPalette& palette) {
  out = ScriptOutput{};
  Interpreter interp(out, palette);
  int line_no = 0;
  while (!text.empty()) {
    ++line_no;
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words = SplitWords(line);
    if (words.empty()) continue;
    const std::string_view op = words.front();
    words.erase(words.begin());
    std::string fault;
    Args args(std::move(words), &fault);
    if (!interp.Run(op, args, fault)) {
      if (error != nullptr) {
        *error = "line " + std::to_string(line_no) + " (" + std::string(op) + "): " + fault;
      }
      return false;
    }
  }
  return true;
}

}  // namespace vx::gdi
