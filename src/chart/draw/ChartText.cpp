#include "chart/draw/ChartText.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "chart/draw/ChartCoords.h"
#include "platform/Canvas.h"
#include "platform/CanvasColors.h"
#include "platform/Picture.h"
#include "platform/TextReplace.h"

namespace qira {

namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Unquote(std::string_view s) {
  s = Trim(s);
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) s = s.substr(1, s.size() - 2);
  return std::string(s);
}

std::optional<int32_t> ParseInt(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<TColor> ParseColor(const std::string& value) {
  const std::string upper = Upper(value);
  if (upper == "BLACK") return clBlack;
  if (upper == "RED") return clRed;
  if (upper == "BLUE") return clBlue;
  if (upper == "YELLOW") return TColor{0x00FFFF};
  if (upper == "WHITE") return clWhite;
  if (upper == "GREEN") return TColor{0x008000};
  if (upper == "LIME") return clLime;
  if (value.size() == 7 && value[0] == '#') {
    uint8_t rgb[3];
    for (int i = 0; i < 3; ++i) {
      const int hi = HexDigit(value[1 + 2 * i]), lo = HexDigit(value[2 + 2 * i]);
      if (hi < 0 || lo < 0) return std::nullopt;
      rgb[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return MakeColor(rgb[0], rgb[1], rgb[2]);
  }
  if (const auto c = ColorFromIdent(value)) return SystemColorToRGB(*c);
  return std::nullopt;
}

// The attributes of a tag after its name: NAME=value pairs, values optionally quoted.
std::vector<std::pair<std::string, std::string>> Attributes(std::string_view body) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t i = 0;
  while (i < body.size()) {
    while (i < body.size() && body[i] == ' ') ++i;
    if (i >= body.size()) break;
    const size_t nameStart = i;
    while (i < body.size() && body[i] != '=' && body[i] != ' ') ++i;
    std::string name = Upper(body.substr(nameStart, i - nameStart));
    std::string value;
    if (i < body.size() && body[i] == '=') {
      ++i;
      if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
        const char quote = body[i];
        const size_t end = body.find(quote, i + 1);
        const size_t stop = end == std::string_view::npos ? body.size() : end;
        value = std::string(body.substr(i + 1, stop - i - 1));
        i = stop == body.size() ? stop : stop + 1;
      } else {
        const size_t start = i;
        while (i < body.size() && body[i] != ' ') ++i;
        value = Unquote(body.substr(start, i - start));
      }
    }
    out.emplace_back(std::move(name), std::move(value));
  }
  return out;
}

// One run of the markup over a canvas: measuring, and drawing when draw is set.
class THtmlWriter {
 public:
  THtmlWriter(IHtmlTextCanvas& canvas, TCanvas& device, int32_t x, int32_t y, bool draw)
      : canvas_(canvas),
        device_(device),
        x_(ClampChartCoord(x)),
        y_(ClampChartCoord(y)),
        left_(x_),
        draw_(draw) {
    lineHeight_ = canvas_.FontHeight();
  }

  TSize Run(std::string_view text) {
    while (!text.empty()) {
      std::string token;
      if (text.front() == '<') {
        const size_t close = text.find('>');
        if (close == std::string_view::npos) throw HtmlParserException("Missing > at " + std::string(text));
        token = std::string(text.substr(0, close + 1));
        text.remove_prefix(close + 1);
      } else {
        const size_t open = text.find('<');
        token = std::string(text.substr(0, open));
        text.remove_prefix(open == std::string_view::npos ? text.size() : open);
      }
      if (token.size() >= 2 && token[0] == '\r' && token[1] == '\n') {
        y_ = Moved(y_, canvas_.FontHeight());
        x_ = left_;
        lineHeight_ = 0;
        token.erase(0, 2);
      }
      if (token.empty()) continue;
      if (token.front() == '<') Tag(token);
      else Text(std::move(token));
    }
    return size_;
  }

 private:
  // A font saved by a tag, with the vertical offset the tag applied, undone exactly
  // on the matching close so sub- and superscripts never drift.
  struct TSaved {
    TFont font;
    int32_t yShift = 0;
  };

  void SaveFont(int32_t yShift = 0) { fonts_.push_back({device_.Font(), yShift}); }

  // A pen position moved in 64 bits and kept within the chart's coordinates: an image or
  // font size from the text can be anything an int holds.
  static int32_t Moved(int32_t coordinate, int64_t by) { return ClampChartCoord(coordinate + by); }

  // Closing a font tag: a restore with nothing saved is ignored.
  void RestoreFont() {
    if (fonts_.empty()) return;
    const TSaved saved = fonts_.back();
    fonts_.pop_back();
    device_.SetFont(saved.font);
    y_ = Moved(y_, -int64_t{saved.yShift});
  }

  void SetSize(int64_t points) {
    TFont f = device_.Font();
    f.SetSize(ClampChartCoord(points));
    device_.SetFont(f);
  }

  void SetStyle(TFontStyles bit, bool on) {
    TFont f = device_.Font();
    f.Style = on ? (f.Style | bit) : (f.Style & ~bit);
    device_.SetFont(f);
  }

  static TFontStyles StyleOf(const std::string& name) {
    if (name == "B" || name == "BOLD" || name == "STRONG") return fsBold;
    if (name == "I") return fsItalic;
    if (name == "U") return fsUnderline;
    if (name == "STRIKE") return fsStrikeOut;
    return 0;
  }

  void Tag(const std::string& token) {
    const std::string_view inner = std::string_view(token).substr(1, token.size() - 2);
    const std::string upper = Upper(Trim(inner));
    const size_t space = upper.find(' ');
    const std::string name = upper.substr(0, space);
    const std::string_view attributes =
        space == std::string::npos ? std::string_view() : Trim(inner).substr(space + 1);

    if (name == "/") {  // "</>": the last opened style tag, closed as if written out
      if (tags_.empty()) return;
      const std::string last = tags_.back();
      tags_.pop_back();
      Tag("</" + last + ">");
      return;
    }
    if (name == "BR" || name == "P") {
      x_ = left_;
      lineHeight_ = 0;
    } else if (name == "BIG" || name == "SMALL") {
      SaveFont();
      SetSize(int64_t{device_.Font().Size()} + (name == "BIG" ? 2 : -2));
    } else if (name == "SUB" || name == "SUPER") {
      const TFont before = device_.Font();
      TFont f = before;
      f.SetSize(before.Size() / 2);
      device_.SetFont(f);
      const int32_t h = canvas_.FontHeight();
      const int32_t shift = name == "SUB" ? h : -(h / 2);
      fonts_.push_back({before, shift});
      y_ = Moved(y_, shift);
    } else if (name == "/SUB" || name == "/SUPER" || name == "/PRE" || name == "/FONT") {
      // BIG, SMALL and H1 to H6 have no closing form: "</BIG>" is text, and their
      // font stays until an enclosing tag restores an earlier one.
      RestoreFont();
    } else if (name.size() == 2 && name[0] == 'H' && name[1] >= '1' && name[1] <= '6') {
      static constexpr int32_t kSizes[] = {48, 36, 24, 18, 12, 8};
      SaveFont();
      SetSize(kSizes[name[1] - '1']);
    } else if (name == "PRE") {
      SaveFont();
      TFont f = device_.Font();
      f.Name = "COURIER NEW";
      device_.SetFont(f);
    } else if (name == "CENTER") {
      centre_ = true;
    } else if (name == "/CENTER") {
      centre_ = false;
    } else if (StyleOf(name) != 0) {
      SetStyle(StyleOf(name), true);
      tags_.push_back(name);
    } else if (name.size() > 1 && name[0] == '/' && StyleOf(name.substr(1)) != 0) {
      // Only the style goes: the opening tag stays on the stack, so "<I><B>x</B></>"
      // closes the B again and leaves the text italic.
      SetStyle(StyleOf(name.substr(1)), false);
    } else if (name == "FONT") {
      SaveFont();
      FontAttributes(attributes);
    } else if (name == "IMG") {
      Image(attributes);
    } else if (name == "HR") {
      if (draw_) {
        device_.SetPen(TPen{clGray, 1, psSolid, pmCopy});
        canvas_.Line(x_, y_, Moved(x_, 100), y_);
      }
      y_ = Moved(y_, canvas_.FontHeight());
    } else {
      Text(token);
    }
  }

  void FontAttributes(std::string_view body) {
    TFont f = device_.Font();
    for (const auto& [name, value] : Attributes(body)) {
      if (name == "NAME" || name == "FAMILY") {
        f.Name = value;
      } else if (name == "SIZE") {
        if (const auto n = ParseInt(value)) {
          const bool relative = !value.empty() && (value.front() == '+' || value.front() == '-');
          f.SetSize(ClampChartCoord(relative ? int64_t{f.Size()} + *n : *n));
        }
      } else if (name == "COLOR") {
        if (const auto c = ParseColor(value)) f.Color = *c;
      } else if (name == "WEIGHT") {
        const std::string w = Upper(value);
        if (w == "BOLD") f.Style = fsBold;
        else if (w == "ITALIC") f.Style = fsItalic;
        else if (w == "NORMAL") f.Style = 0;
        else if (w == "STRIKE") f.Style = fsStrikeOut;
        else if (w == "UNDERLINE") f.Style = fsUnderline;
        else throw HtmlParserException("Unknown field in FONT WEIGHT=" + value);
      } else {
        throw HtmlParserException("Unknown field in FONT: " + name);
      }
    }
    device_.SetFont(f);
  }

  void Image(std::string_view body) {
    int32_t width = 0, height = 0;
    std::string source;
    for (const auto& [name, value] : Attributes(body)) {
      if (name == "WIDTH") width = ParseInt(value).value_or(0);
      else if (name == "HEIGHT") height = ParseInt(value).value_or(0);
      else if (name == "SRC") source = Unquote(value);
    }
    TPicture picture;
    try {
      if (!source.empty()) picture.LoadFromFile(source);
    } catch (const std::exception&) {
      picture.SetGraphic(static_cast<const TGraphic*>(nullptr));
    }
    if (!picture.Empty()) {
      if (width <= 0) width = picture.Width();
      if (height <= 0) height = picture.Height();
    }
    const TRect place{x_, y_, Moved(x_, width), Moved(y_, height)};
    if (!picture.Empty()) {
      if (draw_) {
        if (width == picture.Width() && height == picture.Height()) canvas_.Draw(x_, y_, picture.Graphic());
        else canvas_.StretchDraw(place, picture.Graphic());
      }
    } else if (draw_ && width > 0 && height > 0) {
      // Placeholder: a grey frame of the requested size.
      const TBrush brush = device_.Brush();
      device_.SetBrush(TBrush{clGray, bsSolid});
      device_.FrameRect(place);
      device_.SetBrush(brush);
    }
    x_ = Moved(x_, width);
    y_ = Moved(y_, height);
  }

  void Text(std::string token) {
    token = ReplaceAll(token, "&lt;", "<");
    token = ReplaceAll(token, "&gt;", ">");
    token = ReplaceAll(token, "&amp;", "&");
    token = ReplaceAll(token, "&quot;", "\"");
    bool endsLine = false;
    if (token.size() >= 2 && token.ends_with("\r\n")) {
      token.resize(token.size() - 2);
      endsLine = true;
    }
    const int32_t w = canvas_.TextWidth(token);
    const int32_t h = canvas_.TextHeight(token);
    if (centre_) {
      const TRect& b = canvas_.Bounds();
      x_ = ClampChartCoord((int64_t{b.Left} + b.Right) / 2 - w / 2);
    }
    if (lineHeight_ == 0) {
      lineHeight_ = canvas_.FontHeight();
      y_ = Moved(y_, lineHeight_);
    }
    if (draw_) canvas_.TextOut(x_, y_, token);
    x_ = Moved(x_, w);
    size_.cx = std::max(size_.cx, x_);
    lineHeight_ = std::max(lineHeight_, h);
    size_.cy = std::max(size_.cy, lineHeight_);
    if (endsLine) {
      lineHeight_ = 0;
      x_ = left_;
    }
  }

  IHtmlTextCanvas& canvas_;
  TCanvas& device_;
  int32_t x_, y_, left_;
  int32_t lineHeight_ = 0;
  bool centre_ = false;
  bool draw_;
  TSize size_;
  std::vector<std::string> tags_;
  std::vector<TSaved> fonts_;
};

TSize Run(IHtmlTextCanvas& canvas, int32_t x, int32_t y, std::string_view text, bool draw) {
  TCanvas* device = canvas.GetHandle();
  if (!device) return {};
  return THtmlWriter(canvas, *device, x, y, draw).Run(text);
}

}  // namespace

TSize HtmlTextSize(IHtmlTextCanvas& canvas, std::string_view text) { return Run(canvas, 0, 0, text, false); }

void HtmlTextOut(IHtmlTextCanvas& canvas, int32_t x, int32_t y, std::string_view text) { Run(canvas, x, y, text, true); }

}  // namespace qira
