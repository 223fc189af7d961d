// Sections: colours; text runs (the single-line text drawing the renderer builds
// on); tag attributes; the renderer (state, line formatting, tags, pictures, line
// loop); plain text; gradient.
#include "widgets/FormattedText.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <climits>
#include <optional>

#include "platform/AsciiCase.h"
#include "platform/CanvasColors.h"
#include "platform/Rounding.h"
#include "platform/TextReplace.h"

namespace qira {

namespace {

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// The text with its entities replaced until none is left. Replacing one never
// makes or breaks another, except that the second '&' of the "&&" for "&amp;"
// may begin one with the text after it; so one pass from the left that reads
// that '&' again ends where replacing one of each, pass after pass, would.
std::string ReplaceEntities(std::string text) {
  static constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
      {"&amp;", "&&"},         {"&quot;", "\""},        {"&sect;", "\xC2\xA7"},
      {"&permil;", "\xE2\x80\xB0"}, {"&reg;", "\xC2\xAE"}, {"&copy;", "\xC2\xA9"},
      {"&para;", "\xC2\xB6"},  {"&trade;", "\xE2\x84\xA2"}, {"&euro;", "\xE2\x82\xAC"},
  };
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&') {
      out.push_back(text[i++]);
      continue;
    }
    const auto entity = std::find_if(std::begin(kEntities), std::end(kEntities), [&](const auto& e) {
      return SameTextAscii(std::string_view(text).substr(i, e.first.size()), e.first);
    });
    if (entity == std::end(kEntities)) {
      out.push_back(text[i++]);
    } else if (entity == std::begin(kEntities)) {
      out.push_back('&');
      i += entity->first.size() - 1;
      text[i] = '&';  // the second '&', read again
    } else {
      out.append(entity->second);
      i += entity->first.size();
    }
  }
  return out;
}

// Length of the UTF-8 sequence that starts with byte c (1 for stray bytes).
size_t Utf8Length(unsigned char c) {
  if (c >= 0xF0 && c < 0xF8) return 4;
  if (c >= 0xE0) return c < 0xF0 ? 3 : 1;
  if (c >= 0xC0) return 2;
  return 1;
}

// Reads the leading decimal digits of text (after blanks); the digits read so far
// count when something else follows. nullopt without any digit.
std::optional<int32_t> LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t v = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    v = std::min<int64_t>(v * 10 + (text[i] - '0'), INT32_MAX);
  }
  if (!any) return std::nullopt;
  return static_cast<int32_t>(negative ? -v : v);
}

// ------------------------------------------------------------------ colours

struct TNamedColor {
  const char* name;
  TColor value;
};

constexpr TColor Sys(uint32_t n) { return 0xFF000000u + n; }

constexpr TNamedColor kNamedColors[] = {
    {"clred", 0x0000FF},   {"clblack", 0x000000},  {"clblue", 0xFF0000},    {"clgreen", 0x008000},
    {"claqua", 0xFFFF00},  {"clyellow", 0x00FFFF}, {"clfuchsia", 0xFF00FF}, {"clwhite", 0xFFFFFF},
    {"cllime", 0x00FF00},  {"clsilver", 0xC0C0C0}, {"clgray", 0x808080},    {"clolive", 0x008080},
    {"clnavy", 0x800000},  {"clpurple", 0x800080}, {"clteal", 0x808000},    {"clmaroon", 0x000080},
    {"clbackground", Sys(1)},       {"clactivecaption", Sys(2)},       {"clinactivecaption", Sys(3)},
    {"clmenu", Sys(4)},             {"clwindow", Sys(5)},              {"clwindowframe", Sys(6)},
    {"clmenutext", Sys(7)},         {"clwindowtext", Sys(8)},          {"clcaptiontext", Sys(9)},
    {"clactiveborder", Sys(10)},    {"clinactiveborder", Sys(11)},     {"clappworkspace", Sys(12)},
    {"clhighlight", Sys(13)},       {"clhighlighttext", Sys(14)},      {"clbtnface", Sys(15)},
    {"clbtnshadow", Sys(16)},       {"clgraytext", Sys(17)},           {"clbtntext", Sys(18)},
    {"clinactivecaptiontext", Sys(19)}, {"clbtnhighlight", Sys(20)},   {"cl3ddkshadow", Sys(21)},
    {"cl3dlight", Sys(22)},         {"clinfotext", Sys(23)},           {"clinfobk", Sys(24)},
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// A colour attribute value: "#RRGGBB" or a colour name.
TColor ParseColorValue(std::string_view value) {
  if (!value.empty() && value[0] == '#') return ColorToRGB(HexColorToColor(value));
  return ColorToRGB(FormatColorByName(LowerAscii(value)));
}

// ------------------------------------------------------------ text runs

// The single-line text drawing of the platform as the renderer uses it: bottom
// aligned in a rectangle, "&" marks the next character as a prefix (underlined)
// and "&&" shows one ampersand unless prefixes are off, and with an ellipsis the
// text is cut to the rectangle's width with "..." at its end.
struct TRunText {
  std::string shown;
  std::vector<size_t> prefixes;  // byte offsets in shown of underlined characters
};

TRunText PrepareRun(std::string_view run, bool noPrefix) {
  TRunText out;
  std::string text;
  text.reserve(run.size());
  for (char c : run) {
    if (c == '\t') {
      // Tabs stop every eight characters.
      do text.push_back(' ');
      while (text.size() % 8 != 0);
    } else {
      text.push_back(c);
    }
  }
  if (noPrefix) {
    out.shown = std::move(text);
    return out;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out.shown.push_back(text[i]);
      continue;
    }
    if (i + 1 >= text.size()) break;  // a closing lone ampersand shows nothing
    if (text[i + 1] == '&') {
      out.shown.push_back('&');
      ++i;
      continue;
    }
    out.prefixes.push_back(out.shown.size());
  }
  return out;
}

int32_t RunWidth(const TCanvas& canvas, std::string_view run, bool noPrefix) {
  return canvas.TextWidth(PrepareRun(run, noPrefix).shown);
}

// Widths of one text's prefixes, asked for at ends that never decrease, each piece
// measured once: a text's width is the sum of its pieces' widths where it is cut
// before a character's first byte (a stray continuation byte more than three
// bytes after the last other byte is a character of its own), so a long run is
// not measured again from its start for every cut.
class TPrefixWidth {
 public:
  TPrefixWidth(const TCanvas& canvas, std::string_view text) : canvas_(canvas), text_(text) {}

  int64_t At(size_t end) {
    size_t cut = end;
    while (cut > base_ && !CutsWhole(cut)) --cut;
    width_ += canvas_.TextWidth(text_.substr(base_, cut - base_));
    base_ = cut;
    return width_ + (end > cut ? canvas_.TextWidth(text_.substr(cut, end - cut)) : 0);
  }

 private:
  bool CutsWhole(size_t at) const {
    auto continuation = [&](size_t i) { return (static_cast<unsigned char>(text_[i]) & 0xC0) == 0x80; };
    if (at >= text_.size() || !continuation(at)) return true;
    for (size_t back = 1; back <= 3 && back <= at; ++back)
      if (!continuation(at - back)) return false;
    return true;
  }

  const TCanvas& canvas_;
  std::string_view text_;
  size_t base_ = 0;   // a whole-character cut
  int64_t width_ = 0;  // width of text_[0, base_)
};

void DrawRun(TCanvas& canvas, std::string_view run, const TRect& r, bool noPrefix, bool ellipsis,
             TColor background) {
  if (r.IsEmpty()) return;
  TRunText t = PrepareRun(run, noPrefix);
  if (ellipsis && canvas.TextWidth(t.shown) > r.Width()) {
    // The longest text cut before a character (or not cut) that fits with the
    // "..." after it. A negative character spacing can make a longer cut narrower,
    // so every cut is looked at unless the widths only grow.
    const int64_t room = int64_t{r.Width()} - canvas.TextWidth("...");
    const bool growing = canvas.TextCharacterExtra() >= 0;
    TPrefixWidth prefix(canvas, t.shown);
    size_t cut = 0;
    for (size_t end = 1; end <= t.shown.size(); ++end) {
      if (end < t.shown.size() && (static_cast<unsigned char>(t.shown[end]) & 0xC0) == 0x80) continue;
      const int64_t width = prefix.At(end);
      if (width <= room) cut = end;
      else if (growing) break;
    }
    t.shown.erase(cut);
    std::erase_if(t.prefixes, [&](size_t p) { return p >= cut; });
    t.shown += "...";
  }
  canvas.SaveDC();
  canvas.IntersectClipRect(r);
  if (background == clNone) {
    canvas.SetBkMode(bkTransparent);
  } else {
    canvas.SetBkColor(ColorToRGB(background));
    canvas.SetBkMode(bkOpaque);
  }
  canvas.SetTextAlign(TA_LEFT | TA_BOTTOM);
  canvas.TextOut(r.Left, r.Bottom, t.shown);
  if (!t.prefixes.empty()) {
    TFont underlined = canvas.Font();
    underlined.Style |= fsUnderline;
    canvas.SetBkMode(bkTransparent);
    TPrefixWidth prefix(canvas, t.shown);
    for (size_t p : t.prefixes) {
      const size_t n = std::min(Utf8Length(static_cast<unsigned char>(t.shown[p])), t.shown.size() - p);
      const int32_t x = r.Left + SaturateCast<int32_t>(prefix.At(p));
      const TFont plain = canvas.Font();
      canvas.SetFont(underlined);
      canvas.TextOut(x, r.Bottom, std::string_view(t.shown).substr(p, n));
      canvas.SetFont(plain);
    }
  }
  canvas.RestoreDC(-1);
}

}  // namespace

void DrawFocusRect(TCanvas& canvas, const TRect& r) {
  if (r.IsEmpty()) return;
  auto invert = [&](int32_t x, int32_t y) {
    const TColor c = canvas.Pixel(x, y);
    if (c != CLR_INVALID) canvas.SetPixel(x, y, c ^ 0xFFFFFF);
  };
  for (int32_t x = r.Left; x < r.Right; x += 2) {
    invert(x, r.Top);
    if (r.Bottom - 1 != r.Top) invert(x, r.Bottom - 1);
  }
  for (int32_t y = r.Top + 2; y < r.Bottom - 1; y += 2) {
    invert(r.Left, y);
    if (r.Right - 1 != r.Left) invert(r.Right - 1, y);
  }
}

namespace {

// ------------------------------------------------------------ tag attributes

// The value of attribute name in an upper-cased tag: the text between the double
// quote that directly follows "name=" (blanks allowed around "=") and the next
// double quote; taken from the original tag so that case is kept. Empty when the
// attribute is missing or its value is not quoted.
std::string Attribute(std::string_view tag, std::string_view upper, std::string_view name) {
  for (size_t p = upper.find(name); p != std::string_view::npos; p = upper.find(name, p + 1)) {
    size_t i = p + name.size();
    while (i < upper.size() && upper[i] == ' ') ++i;
    if (i >= upper.size() || upper[i] != '=') continue;
    ++i;
    while (i < upper.size() && upper[i] == ' ') ++i;
    if (i >= upper.size() || upper[i] != '"') return {};
    const size_t end = tag.find('"', i + 1);
    if (end == std::string_view::npos) return {};
    return std::string(tag.substr(i + 1, end - i - 1));
  }
  return {};
}

bool HasAttribute(std::string_view upper, std::string_view name) {
  for (size_t p = upper.find(name); p != std::string_view::npos; p = upper.find(name, p + 1)) {
    size_t i = p + name.size();
    while (i < upper.size() && upper[i] == ' ') ++i;
    if (i < upper.size() && upper[i] == '=') return true;
  }
  return false;
}

// A number after "name=", quoted or not; the digits read so far count.
std::optional<int32_t> NumberAttribute(std::string_view upper, std::string_view name) {
  for (size_t p = upper.find(name); p != std::string_view::npos; p = upper.find(name, p + 1)) {
    size_t i = p + name.size();
    while (i < upper.size() && upper[i] == ' ') ++i;
    if (i >= upper.size() || upper[i] != '=') continue;
    ++i;
    while (i < upper.size() && upper[i] == ' ') ++i;
    if (i < upper.size() && upper[i] == '"') ++i;
    return LeadingNumber(upper.substr(i));
  }
  return std::nullopt;
}

// ------------------------------------------------------------ the renderer

// Fonts and flags that run on from line to line; the measuring and the drawing
// pass each carry their own.
struct TRunState {
  TFont font;
  std::vector<TFont> rotated;  // fonts in force before each rotation
  bool sub = false, sup = false, shadow = false, hidden = false, errorMark = false;
  bool inLink = false, paragraphBackground = false;
  std::string linkValue;
  int32_t linkCounter = 0;
  int32_t imageCounter = 0;
  int32_t listDepth = 0;
  int32_t align = 0;  // left 0, right 1, centre 2
  int32_t indent = 0;
  int32_t listOffset = 0;
  TColor brush = clNone;  // background behind text; clNone: transparent
  TColor linkSavedBrush = clNone, linkSavedColor = clBlack;
  TColor fontSavedBrush = clNone;
  TColor highlightSavedBrush = clNone, highlightSavedColor = clBlack;
  TColor paragraphSavedBrush = clNone;
  std::optional<int32_t> focusStart;
  int32_t linkStart = 0;
  int32_t linkStartTop = INT32_MIN;
  bool pointOnLink = false;
};

// One pass over one line.
struct TLinePass {
  int32_t width = 0;
  int32_t height = 0;
  int32_t sub = 0;
  int32_t sup = 0;
  int32_t imageDescent = 0;
  bool linkHit = false;
  bool imageHit = false;
};

enum class TPassMode { Measure, Test, Draw };

class TFormattedTextRenderer {
 public:
  TFormattedTextRenderer(TCanvas& canvas, const TRect& rect, const TFormattedTextParams& p,
                         TFormattedTextResult& r)
      : c_(canvas), rect_(rect), p_(p), r_(r) {}

  bool Run(std::string text);

 private:
  void FormatLine(std::string_view& text, TRunState& st, TPassMode mode, const TRect& line, TLinePass& lp,
                  const TLinePass* measured, int32_t lineBottom, bool collectStrip);
  // Applies one tag; returns whether the line ends there. keep: the tag stays in
  // the text for the next line.
  bool ApplyTag(const std::string& tag, TRunState& st, TPassMode mode, const TRect& line, TLinePass& lp,
                const TLinePass* measured, int32_t lineBottom, int32_t& x, bool& liSeen, bool& keep,
                bool collectStrip);
  bool ApplyImage(const std::string& tag, const std::string& upper, TRunState& st, TPassMode mode,
                  const TRect& line, TLinePass& lp, int32_t lineBottom, int32_t& x, bool& keep);
  void ApplyBody(const std::string& tag, const std::string& upper);
  // The picture a source names, its layout size, and its frame offset; false when
  // there is none (it takes no room).
  struct TPictureRef {
    const QImage* image = nullptr;
    const THTMLPicture* picture = nullptr;
    QImage icon;  // a desktop icon, held for the call
    int32_t width = 0, height = 0;
  };
  bool FindPicture(const std::string& source, int32_t width, int32_t height, TPictureRef& out);
  void DrawPicture(const TPictureRef& ref, int32_t x, int32_t y, int32_t width, int32_t height);
  int32_t GhHeight() const { return c_.TextHeight("gh"); }
  double Scale() const { return DefaultPixelsPerInch() / 96.0; }

  TCanvas& c_;
  TRect rect_;
  const TFormattedTextParams& p_;
  TFormattedTextResult& r_;
  TFont reference_;
  TColor callBrush_ = clWhite;
  bool noPrefix_ = false;
};

bool TFormattedTextRenderer::Run(std::string text) {
  r_ = TFormattedTextResult{};
  reference_ = c_.Font();
  callBrush_ = c_.Brush().Style == bsClear ? clNone : c_.Brush().Color;
  c_.SaveDC();
  c_.SetBkMode(bkTransparent);

  if (text.find('&') != std::string::npos) text = ReplaceEntities(std::move(text));
  if (const size_t hash = text.find("<#"); hash != std::string::npos) {
    text.erase(hash, 1);
    if (const size_t gt = text.find('>', hash); gt != std::string::npos) text.erase(gt, 1);
  }
  text = ReplaceAll(text, "\r", "<BR>");
  std::erase(text, '\n');
  noPrefix_ = text.find(" & ") != std::string::npos;

  TRunState measure;
  measure.font = reference_;
  TRunState draw = measure;
  bool hit = false;
  int32_t top = rect_.Top;
  // The lines are read as views of the text: taking a run or a line off the front
  // of a string would move the rest once for each.
  std::string_view unread = text;
  while (!unread.empty()) {
    c_.SetFont(measure.font);
    const int32_t gh = GhHeight();
    const TRect line{rect_.Left + 1, top, rect_.Right, rect_.Bottom};
    std::string_view rest = unread;
    TLinePass m;
    m.height = gh;
    FormatLine(rest, measure, TPassMode::Measure, line, m, nullptr, 0, true);
    m.height += p_.LineSpacing;

    int32_t left = line.Left + draw.listOffset;
    if (measure.align == 1) {
      if (rect_.Right - m.width > left) left = rect_.Right - m.width;
    } else if (measure.align == 2) {
      const int32_t free = rect_.Right - left - m.width;
      if (free > 0) left += free >> 1;
    }
    left += measure.indent;
    const int32_t lineBottom = top + m.height + m.sub + m.sup;

    if (!p_.CheckHeight) {
      std::string_view again = unread;
      TLinePass d;
      d.height = gh;
      const TRect placed{left, top, rect_.Right, rect_.Bottom};
      FormatLine(again, draw, p_.CheckHotSpot ? TPassMode::Test : TPassMode::Draw, placed, d, &m, lineBottom,
                 false);
      if (d.linkHit && p_.YPos > lineBottom - m.imageDescent - gh && p_.YPos < lineBottom - m.imageDescent)
        hit = true;
      if (d.imageHit) hit = true;
    }
    const int32_t advance = m.height + m.sub + m.sup;
    top += advance;
    r_.YSize += advance;
    // A line that consumed nothing would come round again for ever.
    if (rest.size() >= unread.size()) break;
    unread = rest;
    if (!p_.CheckHeight && top + GhHeight() > rect_.Bottom) break;
  }
  c_.SetFont(reference_);
  if (r_.YSize == 0) r_.YSize = GhHeight();
  r_.HyperLinks = std::max(measure.linkCounter, draw.linkCounter);
  c_.RestoreDC(-1);
  return hit;
}

void TFormattedTextRenderer::FormatLine(std::string_view& text, TRunState& st, TPassMode mode, const TRect& line,
                                        TLinePass& lp, const TLinePass* measured, int32_t lineBottom,
                                        bool collectStrip) {
  const bool draw = mode == TPassMode::Draw;
  const TLinePass& geometry = measured ? *measured : lp;
  c_.SetFont(st.font);
  if (draw && st.paragraphBackground && st.brush != clNone) {
    c_.SetBrushColor(ColorToRGB(st.brush));
    c_.FillRect(TRect{rect_.Left, line.Top, rect_.Right, lineBottom});
  }
  int32_t x = line.Left;
  int32_t trailingSpace = 0;
  bool endsInSpace = true;
  bool liSeen = false;
  bool lineEnds = false;
  while (!text.empty() && !lineEnds) {
    // A run ends before a tag, or after a space where lines wrap; the search stops
    // there, so it never reads the rest of the text again.
    const size_t stop = text.find_first_of(p_.WordWrap ? std::string_view("< ") : std::string_view("<"));
    const size_t runLength = stop == std::string_view::npos ? text.size() : text[stop] == ' ' ? stop + 1 : stop;
    if (runLength > 0) {
      std::string run(text.substr(0, runLength));
      run = ReplaceAll(run, "&nbsp;", " ");
      run = ReplaceAll(run, "&lt;", "<");
      run = ReplaceAll(run, "&gt;", ">");
      c_.SetFont(st.font);
      const int32_t h = c_.TextHeight(run);
      if (st.sub) lp.sub = std::max(lp.sub, h / 4);
      if (st.sup) lp.sup = std::max(lp.sup, h / 4);
      lp.height = std::max(lp.height, h);
      if (st.hidden) {
        if (collectStrip) r_.StripVal += run;
        text.remove_prefix(runLength);
        continue;
      }
      const int32_t w = RunWidth(c_, run, noPrefix_);
      const int32_t available = rect_.Width() - st.listOffset;
      const bool fits = lp.width + w < available || (w >= available && lp.width == 0) ||
                        (lp.width > 0 && !endsInSpace);
      if (!fits && p_.WordWrap) break;
      if (collectStrip) r_.StripVal += run;
      if (mode == TPassMode::Test && st.inLink) {
        const int32_t dx = p_.XPos - line.Left;
        if (dx >= lp.width && dx <= lp.width + w) {
          lp.linkHit = true;
          if (p_.YPos > line.Top && p_.YPos < line.Top + h) {
            r_.AnchorVal = st.linkValue;
            st.pointOnLink = true;
          }
        }
      }
      if (draw) {
        const int32_t base = lineBottom - geometry.sub;
        int32_t bottom = base - geometry.imageDescent;
        if (st.sup) bottom -= geometry.sup;
        if (st.sub) bottom += geometry.sub;
        const bool ellipsis = !p_.WordWrap;
        if (st.shadow) {
          const TColor color = st.font.Color;
          c_.SetTextColor(ColorToRGB(p_.ShadowColor));
          DrawRun(c_, run,
                  TRect{x + p_.ShadowOffset, line.Top + p_.ShadowOffset, rect_.Right, bottom + p_.ShadowOffset},
                  noPrefix_, ellipsis, clNone);
          c_.SetTextColor(color);
        }
        DrawRun(c_, run, TRect{x, line.Top, rect_.Right, bottom}, noPrefix_, ellipsis, st.brush);
        if (st.inLink && st.linkCounter - 1 == p_.FocusLink) r_.FocusAnchor = st.linkValue;
        if (st.errorMark) {
          std::vector<TPoint> zigzag;
          for (int32_t zx = x & ~1; zx <= x + w; zx += 2)
            zigzag.push_back(TPoint{zx, zx % 4 == 0 ? bottom + 1 : bottom - 1});
          if (zigzag.size() >= 2) {
            c_.SetPen(TPen{clRed, 1, psSolid, pmCopy});
            c_.Polyline(zigzag);
          }
        }
      }
      lp.width += w;
      x += w;
      endsInSpace = run.back() == ' ';
      trailingSpace = endsInSpace ? c_.TextWidth(" ") : 0;
      text.remove_prefix(runLength);
      continue;
    }
    if (text.size() < 3) {
      text = {};
      break;
    }
    const size_t gt = text.find('>');
    if (gt == std::string::npos) {
      text = {};
      break;
    }
    const std::string tag(text.substr(0, gt + 1));
    bool keep = false;
    lineEnds = ApplyTag(tag, st, mode, line, lp, measured, lineBottom, x, liSeen, keep, collectStrip);
    if (!keep) text.remove_prefix(gt + 1);
    c_.SetFont(st.font);
  }
  lp.width -= trailingSpace;
  if (collectStrip && lp.width > r_.XSize) r_.XSize = lp.width + 2;
  if (draw && st.inLink && st.focusStart) {
    const int32_t gh = GhHeight();
    DrawFocusRect(c_, TRect{*st.focusStart - 1, lineBottom - gh, x + 1, lineBottom});
    st.focusStart = line.Left;
  }
}

bool TFormattedTextRenderer::ApplyTag(const std::string& tag, TRunState& st, TPassMode mode, const TRect& line,
                                      TLinePass& lp, const TLinePass* measured, int32_t lineBottom, int32_t& x,
                                      bool& liSeen, bool& keep, bool collectStrip) {
  const bool draw = mode == TPassMode::Draw;
  const std::string upper = UpperAscii(tag);
  const bool closing = upper.size() > 1 && upper[1] == '/';
  const size_t at = closing ? 2 : 1;
  const char c1 = at < upper.size() ? upper[at] : '\0';
  const char c2 = at + 1 < upper.size() ? upper[at + 1] : '\0';
  if (c1 < 'A' || c1 > 'Z') return false;
  const bool letter2 = c2 >= 'A' && c2 <= 'Z';
  const TLinePass& geometry = measured ? *measured : lp;
  auto restoreBrush = [&](TColor saved) { st.brush = saved; };
  const bool hoverApplies = !p_.HoverStyle || st.linkCounter == p_.HoverLink;

  if (closing) {
    switch (c1) {
      case 'A': {
        if (draw && hoverApplies) {
          st.font.Style &= static_cast<TFontStyles>(~fsUnderline);
          if (p_.HoverColor != clNone) restoreBrush(st.linkSavedBrush);
          if (p_.HoverFontColor != clNone) st.font.Color = st.linkSavedColor;
        }
        if (!p_.Selected) st.font.Color = reference_.Color;
        st.inLink = false;
        if (st.pointOnLink) {
          const int32_t from = st.linkStartTop == line.Top ? st.linkStart : line.Left;
          r_.HoverRect = TRect{from, line.Top, x, lineBottom};
          r_.MouseLink = st.linkCounter;
          st.pointOnLink = false;
        }
        if (draw && st.focusStart && st.linkCounter - 1 == p_.FocusLink) {
          c_.SetFont(st.font);
          DrawFocusRect(c_, TRect{*st.focusStart - 1, lineBottom - GhHeight(), x + 1, lineBottom});
        }
        st.focusStart.reset();
        return false;
      }
      case 'B':
        if (c2 == '>') st.font.Style &= static_cast<TFontStyles>(~fsBold);
        else st.font.Color = reference_.Color;
        return false;
      case 'E': st.errorMark = false; return false;
      case 'F':
        st.font.Name = reference_.Name;
        st.font.Height = reference_.Height;
        if (draw && !p_.Selected) {
          st.font.Color = reference_.Color;
          restoreBrush(st.fontSavedBrush);
        }
        return false;
      case 'H':
        if (draw) {
          st.font.Color = st.highlightSavedColor;
          restoreBrush(st.highlightSavedBrush);
        }
        return false;
      case 'I': st.font.Style &= static_cast<TFontStyles>(~fsItalic); return false;
      case 'L': return true;
      case 'O': st.listOffset = 0; return false;
      case 'P':
        if (draw) {
          restoreBrush(st.paragraphSavedBrush);
          st.paragraphBackground = false;
        }
        return true;
      case 'R':
        if (!st.rotated.empty()) {
          st.font = st.rotated.back();
          st.rotated.pop_back();
        }
        return false;
      case 'S':
        if (c2 == 'U') st.sub = st.sup = false;
        else if (c2 == 'H') st.shadow = false;
        else st.font.Style &= static_cast<TFontStyles>(~fsStrikeOut);
        return false;
      case 'U':
        if (c2 == '>') st.font.Style &= static_cast<TFontStyles>(~fsUnderline);
        else if (st.listDepth > 0) --st.listDepth;
        else st.font.Style &= static_cast<TFontStyles>(~fsUnderline);
        return false;
      case 'Z': st.hidden = false; return false;
      default: return false;
    }
  }

  switch (c1) {
    case 'A': {
      if (draw && p_.FocusLink == st.linkCounter) st.focusStart = x;
      ++st.linkCounter;
      const bool applies = !p_.HoverStyle || st.linkCounter == p_.HoverLink;
      if (draw && applies) {
        st.font.Style |= fsUnderline;
        st.linkSavedBrush = st.brush;
        if (p_.HoverColor != clNone) st.brush = p_.HoverColor;
        if (p_.HoverFontColor != clNone) {
          st.linkSavedColor = st.font.Color;
          st.font.Color = ColorToRGB(p_.HoverFontColor);
        }
      }
      if (!p_.Selected &&
          !(p_.HoverFontColor != clNone && p_.HoverStyle && st.linkCounter == p_.HoverLink))
        st.font.Color = ColorToRGB(p_.URLColor);
      st.linkValue.clear();
      if (const size_t q1 = tag.find('"'); q1 != std::string::npos)
        if (const size_t q2 = tag.find('"', q1 + 1); q2 != std::string::npos)
          st.linkValue = tag.substr(q1 + 1, q2 - q1 - 1);
      st.inLink = true;
      st.linkStart = x;
      st.linkStartTop = line.Top;
      st.pointOnLink = false;
      return false;
    }
    case 'B':
      if (c2 == '>') {
        st.font.Style |= fsBold;
      } else if (c2 == 'L') {
        if (!p_.Blink) st.font.Color = callBrush_ == clNone ? ColorToRGB(clWhite) : ColorToRGB(callBrush_);
      } else if (c2 == 'O') {
        if (draw && !p_.Selected) ApplyBody(tag, upper);
      } else if (c2 == 'R') {
        if (collectStrip) r_.StripVal += '\r';
        return true;
      }
      return false;
    case 'E':
      if (draw) st.errorMark = true;
      return false;
    case 'F': {
      if (HasAttribute(upper, "FACE")) {
        const std::string face = Attribute(tag, upper, "FACE");
        if (!face.empty()) st.font.Name = face;
      }
      if (!p_.Selected && HasAttribute(upper, " COLOR"))
        st.font.Color = ParseColorValue(Attribute(tag, upper, " COLOR"));
      if (draw && !p_.Selected && HasAttribute(upper, "BGCOLOR")) {
        st.fontSavedBrush = st.brush;
        st.brush = ParseColorValue(Attribute(tag, upper, "BGCOLOR"));
      }
      if (const std::optional<int32_t> size = NumberAttribute(upper, "SIZE")) {
        static constexpr int32_t kSizes[] = {8, 10, 12, 14, 16};
        int32_t points = *size >= 1 && *size <= 5 ? kSizes[*size - 1] : *size;
        // A size beyond any screen would only cost time and memory to lay out.
        points = std::clamp(points, 0, 500);
        st.font.SetSize(points);
      }
      return false;
    }
    case 'H':
      if (c2 == 'I') {
        if (draw) {
          st.highlightSavedColor = st.font.Color;
          st.highlightSavedBrush = st.brush;
          st.brush = ColorToRGB(Sys(13));
          st.font.Color = ColorToRGB(Sys(14));
        }
        return false;
      }
      if (c2 == 'R') {
        if (draw) {
          c_.SetPen(TPen{clBlack, 1, psSolid, pmCopy});
          c_.MoveTo(rect_.Left, lineBottom);
          c_.LineTo(rect_.Right, lineBottom);
        }
        return true;
      }
      return false;
    case 'I':
      if (c2 == '>') {
        st.font.Style |= fsItalic;
      } else if (c2 == 'M') {
        return ApplyImage(tag, upper, st, mode, line, lp, lineBottom, x, keep);
      } else if (c2 == 'N') {
        if (const std::optional<int32_t> v = LeadingNumber(Attribute(tag, upper, "X")); v && *v > lp.width) {
          lp.width = *v;
          x = line.Left + *v;
        }
      }
      return false;
    case 'L':
      if (c2 == 'I') {
        if (liSeen) {
          keep = true;
          return true;
        }
        liSeen = true;
        lp.width += st.listDepth * 12;
        x += std::max(st.listDepth - 1, 0) * 12;
        if (draw && !st.hidden) {
          const TFont font = c_.Font();
          c_.SetBkMode(bkTransparent);
          c_.SetTextAlign(TA_LEFT | TA_BOTTOM);
          c_.TextOut(x, lineBottom - geometry.sub - geometry.imageDescent,
                     st.listDepth % 2 == 1 ? "\xE2\x80\xA2" : "o");
          c_.SetFont(font);
        }
        x += 12;
      }
      return false;
    case 'O':
      if (c2 == 'F') {
        const int32_t v = LeadingNumber(Attribute(tag, upper, "X")).value_or(0);
        st.listOffset = v;
        x = rect_.Left + 1 + v;
        lp.width = v;
      }
      return false;
    case 'P': {
      if (upper.find("LEFT") != std::string::npos) st.align = 0;
      if (upper.find("RIGHT") != std::string::npos) st.align = 1;
      if (upper.find("CENTER") != std::string::npos) st.align = 2;
      if (HasAttribute(upper, "INDENT")) st.indent = LeadingNumber(Attribute(tag, upper, "INDENT")).value_or(0);
      if (draw && HasAttribute(upper, "BGCOLOR")) {
        st.paragraphBackground = true;
        const TColor from = ParseColorValue(Attribute(tag, upper, "BGCOLOR"));
        st.paragraphSavedBrush = st.brush;
        if (HasAttribute(upper, "BGCOLORTO")) {
          const TColor to = ParseColorValue(Attribute(tag, upper, "BGCOLORTO"));
          GradientFill(c_, from, to, true, TRect{rect_.Left, line.Top, rect_.Right, lineBottom + 2}, 64, clNone);
        } else {
          st.brush = from;
          c_.SetBrushColor(from);
          c_.FillRect(TRect{rect_.Left, line.Top, rect_.Right, lineBottom});
        }
      }
      return false;
    }
    case 'R': {
      const int32_t angle = LeadingNumber(Attribute(tag, upper, "A")).value_or(0);
      st.rotated.push_back(st.font);
      st.font.Escapement = static_cast<int32_t>(std::clamp<int64_t>(int64_t{angle} * 10, -3600, 3600));
      return false;
    }
    case 'S':
      if (upper.starts_with("<SUB>")) st.sub = true;
      else if (upper.starts_with("<SUP>")) st.sup = true;
      else if (c2 == '>') st.font.Style |= fsStrikeOut;
      else if (c2 == 'H') st.shadow = true;
      return false;
    case 'U':
      if (c2 == '>') {
        st.font.Style |= fsUnderline;
        return false;
      }
      if (letter2) {
        ++st.listDepth;
        return true;
      }
      return false;
    case 'Z': st.hidden = true; return false;
    default: return false;
  }
}

bool TFormattedTextRenderer::FindPicture(const std::string& source, int32_t width, int32_t height,
                                         TPictureRef& out) {
  const std::string upper = UpperAscii(source);
  const double scale = Scale();
  if (upper.starts_with("IDX:")) {
    const std::optional<int32_t> n = LeadingNumber(std::string_view(source).substr(4));
    if (p_.Images == nullptr || !n || *n < 0 || *n >= p_.Images->Count()) return false;
    out.image = &p_.Images->Images[static_cast<size_t>(*n)];
    out.width = RoundToInt(p_.Images->Width * scale);
    out.height = RoundToInt(p_.Images->Height * scale);
    return true;
  }
  if (upper.starts_with("SSYS:") || upper.starts_with("LSYS:")) {
    out.icon = SystemIconImage(std::string_view(source).substr(5), upper[0] == 'L');
    if (out.icon.isNull()) return false;
    out.width = RoundToInt(out.icon.width() * scale);
    out.height = RoundToInt(out.icon.height() * scale);
    return true;
  }
  const THTMLPicture* picture = nullptr;
  if (source.find(':') == std::string::npos) {
    if (p_.PictureContainer != nullptr && *p_.PictureContainer) picture = (*p_.PictureContainer)(source);
  } else if (source.find("://") != std::string::npos && p_.PictureCache != nullptr) {
    THTMLPicture* cached = p_.PictureCache->FindPicture(source);
    if (cached == nullptr) {
      cached = p_.PictureCache->AddPicture();
      cached->Asynch = false;
      // A picture that cannot be read stays in the cache empty, so it is not
      // read again at every paint, and draws nothing.
      try {
        cached->SetID(source);
      } catch (const std::exception&) {
      }
    }
    picture = cached;
  }
  if (picture == nullptr || picture->Empty() || picture->ToImage().isNull()) return false;
  out.picture = picture;
  const bool sized = width >= 1 && height >= 1;
  out.width = RoundToInt((sized ? width : picture->GetPictureWidth()) * scale);
  out.height = RoundToInt((sized ? height : picture->GetPictureHeight()) * scale);
  return true;
}

void TFormattedTextRenderer::DrawPicture(const TPictureRef& ref, int32_t x, int32_t y, int32_t width,
                                         int32_t height) {
  const QImage image = ref.image ? *ref.image : ref.picture ? ref.picture->ToImage() : ref.icon;
  if (p_.Print) {
    StretchBitmapToCanvas(c_, TRect{x, y, x + RoundToInt(width * p_.ResFactor), y + RoundToInt(height * p_.ResFactor)},
                          image);
    return;
  }
  if (ref.picture != nullptr) {
    x += ref.picture->FrameLeft();
    y += ref.picture->FrameTop();
    if (width != image.width() || height != image.height()) {
      c_.StretchDraw(TRect{x, y, x + width, y + height}, image);
      return;
    }
  }
  c_.Draw(x, y, image);
}

bool TFormattedTextRenderer::ApplyImage(const std::string& tag, const std::string& upper, TRunState& st,
                                        TPassMode mode, const TRect& line, TLinePass& lp, int32_t lineBottom,
                                        int32_t& x, bool& keep) {
  const int32_t width = NumberAttribute(upper, "WIDTH").value_or(0);
  const int32_t height = NumberAttribute(upper, "HEIGHT").value_or(0);
  TPictureRef ref;
  ++st.imageCounter;
  if (!FindPicture(Attribute(tag, upper, "SRC"), width, height, ref)) return false;
  if (mode == TPassMode::Test) {
    // The box the picture is drawn in (standing on the line's bottom).
    const int32_t dx = p_.XPos - line.Left;
    const int32_t top = lineBottom - ref.height;
    if (dx > lp.width && dx < lp.width + ref.width && p_.YPos > top && p_.YPos < top + ref.height) {
      lp.imageHit = true;
      r_.AnchorVal = st.linkValue;
    }
  }
  if (lp.width > 0 && lp.width + ref.width > rect_.Width() && ref.width < rect_.Width()) {
    keep = true;
    return true;
  }
  if (mode == TPassMode::Draw) DrawPicture(ref, x, lineBottom - ref.height, ref.width, ref.height);
  lp.width += ref.width;
  x += ref.width;
  lp.height = std::max(lp.height, ref.height);
  const int32_t gh = GhHeight();
  if (upper.find("\"TOP") != std::string::npos) lp.imageDescent = lp.height - gh;
  else if (upper.find("\"MIDDLE") != std::string::npos) lp.imageDescent = (lp.height - gh) >> 1;
  if (upper.find("WRAP") != std::string::npos) {
    lp.height = gh;
    lp.imageDescent = 0;
  }
  return false;
}

void TFormattedTextRenderer::ApplyBody(const std::string& tag, const std::string& upper) {
  if (HasAttribute(upper, "BGCOLOR")) {
    const TColor from = ParseColorValue(Attribute(tag, upper, "BGCOLOR"));
    const TRect area{rect_.Left - 2, rect_.Top, rect_.Right, rect_.Bottom};
    if (HasAttribute(upper, "BGCOLORTO")) {
      const TColor to = ParseColorValue(Attribute(tag, upper, "BGCOLORTO"));
      const std::string dir = UpperAscii(Attribute(tag, upper, "DIR"));
      GradientFill(c_, from, to, dir.empty() || dir == "H", area, 64, clNone);
    } else {
      c_.SetBrushColor(from);
      c_.FillRect(area);
    }
  }
  auto picture = [&](std::string_view name, auto&& place) {
    if (!HasAttribute(upper, name)) return;
    TPictureRef ref;
    if (!FindPicture(Attribute(tag, upper, name), 0, 0, ref) || ref.width <= 0 || ref.height <= 0) return;
    c_.SaveDC();
    c_.IntersectClipRect(rect_);
    place(ref);
    c_.RestoreDC(-1);
  };
  picture("BACKGROUND", [&](const TPictureRef& ref) {
    for (int32_t y = rect_.Top; y < rect_.Bottom; y += ref.height)
      for (int32_t x = rect_.Left; x < rect_.Right; x += ref.width) DrawPicture(ref, x, y, ref.width, ref.height);
  });
  picture("BGTOPLEFT", [&](const TPictureRef& ref) { DrawPicture(ref, rect_.Left, rect_.Top, ref.width, ref.height); });
  picture("BGTOPRIGHT", [&](const TPictureRef& ref) {
    DrawPicture(ref, rect_.Right - ref.width, rect_.Top, ref.width, ref.height);
  });
}

}  // namespace

// ------------------------------------------------------------ public entry points

bool RenderFormattedText(TCanvas& canvas, std::string_view text, const TRect& rect,
                         const TFormattedTextParams& params, TFormattedTextResult& result) {
  TFormattedTextRenderer renderer(canvas, rect, params, result);
  return renderer.Run(std::string(text));
}

TColor FormatColorByName(std::string_view name) {
  for (const TNamedColor& c : kNamedColors)
    if (name == c.name) return c.value;
  return clBlack;
}

TColor HexColorToColor(std::string_view value) {
  auto pair = [&](size_t i) {
    const int hi = i < value.size() ? HexDigit(value[i]) : 0;
    const int lo = i + 1 < value.size() ? HexDigit(value[i + 1]) : 0;
    return static_cast<uint8_t>(hi * 16 + lo);
  };
  return MakeColor(pair(1), pair(3), pair(5));
}

TColor ColorToRGB(TColor color) { return SystemColorToRGB(color); }

QImage SystemIconImage(std::string_view source, bool large) {
  // The style lives in the widget application; without one there are no icons.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return {};
  QStyle* style = QApplication::style();
  const int size = style->pixelMetric(large ? QStyle::PM_LargeIconSize : QStyle::PM_SmallIconSize);
  const QString name = QString::fromUtf8(source.data(), static_cast<qsizetype>(source.size())).trimmed();
  if (name.isEmpty() || size < 1) return {};
  QIcon icon;
  bool isIndex = false;
  const int index = name.toInt(&isIndex);
  if (isIndex) {
    if (index >= 0 && static_cast<uint32_t>(index) < static_cast<uint32_t>(QStyle::SP_CustomBase)) icon = style->standardIcon(static_cast<QStyle::StandardPixmap>(index));
  } else {
    const QFileInfo info(name);
    const QIcon fileIcon = style->standardIcon(info.isDir() ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    const QMimeDatabase types;
    const QMimeType type = info.isDir()    ? types.mimeTypeForName(QStringLiteral("inode/directory"))
                           : info.isFile() ? types.mimeTypeForFile(info)
                                           : types.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (type.isValid() && (!type.isDefault() || info.exists()))
      icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fileIcon));
    else if (QIcon::hasThemeIcon(name))
      icon = QIcon::fromTheme(name);
  }
  if (icon.isNull()) return {};
  const QPixmap pixmap = icon.pixmap(QSize(size, size), 1.0);
  if (pixmap.isNull()) return {};
  // An icon without this size comes smaller; it is centred in the icon's square.
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.drawPixmap((size - pixmap.width()) / 2, (size - pixmap.height()) / 2, pixmap);
  return image;
}

std::string StripFormatting(std::string_view input) {
  std::string text(input);
  for (std::string_view tag : {std::string_view("<BR>"), std::string_view("<HR>")})
    text = ReplaceEach<char>(text, tag, "\r\n", FindNoCase);
  // One scan, so hidden text and tags are removed wherever they stand.
  std::string result;
  size_t i = 0;
  bool mayClose[2] = {true, true};  // a "</z>", a "</Z>" may still follow: once missing, it stays so
  while (i < text.size()) {
    const size_t lt = text.find('<', i);
    if (lt == std::string::npos) break;
    result.append(text, i, lt - i);
    const std::string_view at = std::string_view(text).substr(lt);
    if (at.starts_with("<z>") || at.starts_with("<Z>")) {
      const bool lower = at[1] == 'z';
      const size_t close = mayClose[lower] ? text.find(lower ? "</z>" : "</Z>", lt + 3) : std::string::npos;
      if (close != std::string::npos) {
        i = close + 4;
        continue;
      }
      mayClose[lower] = false;
    }
    const size_t gt = text.find('>', lt);
    if (gt == std::string::npos) {
      i = lt;
      break;
    }
    i = gt + 1;
  }
  if (i < text.size()) result.append(text, i, std::string::npos);
  return result;
}

void GradientFill(TCanvas& canvas, TColor fromColor, TColor toColor, bool horizontal, const TRect& rect,
                  int32_t steps, TColor frameColor) {
  if (steps <= 0) steps = 1;
  const TColor from = ColorToRGB(fromColor);
  const TColor to = ColorToRGB(toColor);
  const int32_t extent = horizontal ? rect.Width() : rect.Height();
  const int32_t far = horizontal ? rect.Right : rect.Bottom;
  const int32_t length = TruncToInt(static_cast<double>(extent) / steps) + 1;
  auto channel = [&](uint8_t a, uint8_t b, int32_t i) {
    return static_cast<uint8_t>(
        std::clamp(a + RoundToInt(static_cast<double>(i) * (int32_t{b} - int32_t{a}) / steps), 0, 255));
  };
  for (int32_t i = 0; i < steps; ++i) {
    const TColor color = MakeColor(channel(ColorRed(from), ColorRed(to), i),
                                   channel(ColorGreen(from), ColorGreen(to), i),
                                   channel(ColorBlue(from), ColorBlue(to), i));
    const int32_t start = (horizontal ? rect.Left : rect.Top) +
                          RoundToInt(static_cast<double>(i) * extent / steps);
    const int32_t end = std::min(start + length, far);
    canvas.SetPenColor(color);
    canvas.SetBrushColor(color);
    canvas.FillRect(horizontal ? TRect{start, rect.Top, end, rect.Bottom} : TRect{rect.Left, start, rect.Right, end});
  }
  if (frameColor != clNone) {
    canvas.SetBrushColor(ColorToRGB(frameColor));
    canvas.FrameRect(rect);
  }
}

void StretchBitmapToCanvas(TCanvas& canvas, const TRect& rect, const QImage& image) {
  if (image.isNull() || rect.IsEmpty()) return;
  canvas.StretchDraw(rect, image.convertToFormat(QImage::Format_RGB32));
}

}  // namespace qira
