#pragma once
// The colour scale through which section values become colours: two end colours,
// interior stops at whole-percent positions, a value range, a logarithmic flag, an
// automatic-range flag and an intensity (brightness) percent. Values map to colours
// by linear interpolation of red, green and blue between neighbouring stops.
//
// Colour indices run 0 .. Count()-1: 0 is the start colour (position 0), Count()-1
// the end colour (position 100), i in between is stop i-1.
//
// Stored forms, each with its reader and writer below:
//   - the palette chunk of project files and section records (version 0);
//   - the value table of section files (read only);
//   - palette files *.clr, text "ColorMap 1 1" then one line per colour, CR LF.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/CanvasTypes.h"

namespace qira {

// Euclidean distance of the (R, G, B) triples of two colours.
double RGBDistance(TColor a, TColor b);

// The message texts of the palette's readers and writers.
inline constexpr const char* kPaletteWrongFormat = "File has wrong format";
inline constexpr const char* kClrInvalidFormat = "Invalid file format";
inline constexpr const char* kClrCannotOpen = "Can not open file";
inline constexpr const char* kClrCannotWrite = "File can not be written";
inline constexpr const char* kClrSignature = "ColorMap 1 1";

// Result of reading palette file text.
// TooLarge: a file the memory cannot hold, told with ReadWholeFileOrTell's sentence.
enum class TClrRead { Ok, InvalidFormat, CannotOpen, TooLarge };

class TZBPalette {
 public:
  // A new palette holds zeros: black ends, no stops, intensity 0, Min = Max = 0,
  // both flags off. Owners fill it before use.
  TZBPalette() = default;

  void Assign(const TZBPalette& source);
  // Equal ends, intensity, flags and stops; the range counts only when the
  // automatic-range flag is off.
  bool SameAs(const TZBPalette& other) const;

  // ---- colours and stops
  int Count() const { return static_cast<int>(stopColors_.size()) + 2; }
  // i < 1 addresses the start colour, i >= Count()-1 the end colour.
  TColor GetColor(int i) const;
  void SetColor(int i, TColor colour);
  // 0 for i < 1, 100 for i >= Count()-1, else the stop's position.
  uint8_t GetPosition(int i) const;
  // Only for an interior index and a changed position. p <= 0 turns the stop into
  // the start colour, p >= 100 into the end colour (the stop goes); else it moves.
  void SetPosition(int i, int p);
  // Only for 1 <= p <= 99.
  void AddStop(int p, TColor colour);
  // Only for an interior index; the ends cannot be deleted.
  void DeleteStop(int i);
  // Stable sort of the stops by ascending position.
  void SortStops();

  TColor StartColor() const { return startColor_; }
  TColor EndColor() const { return endColor_; }
  const std::vector<TColor>& StopColors() const { return stopColors_; }
  const std::vector<uint8_t>& StopPositions() const { return stopPositions_; }

  // ---- intensity, range, flags
  uint8_t Intensity() const { return intensity_; }
  // Accepted only for 0..100; other values are ignored.
  void SetIntensity(int p);
  double Min() const { return min_; }
  double Max() const { return max_; }
  // Accepted only when aMin < aMax and, on a logarithmic palette, both are above 0.
  void SetRange(double aMin, double aMax);
  bool Logarithmic() const { return logarithmic_; }
  // Switching on is refused unless Min > 0 and Max > 0; switching off always works.
  void SetLogarithmic(bool on);
  // The palette only keeps this flag; its owner applies its data range.
  bool AutoRange() const { return autoRange_; }
  void SetAutoRange(bool on) { autoRange_ = on; }

  // ---- mapping
  // The colour with the intensity applied: each channel c becomes
  // c + Round((255 - c) * (1 - I/100)), so 0 gives white.
  TColor AdjustColor(TColor colour) const;
  // Without intensity. P <= 0 (or NaN) gives the start colour, P >= 100 the end colour.
  TColor ColorAtPercent(double p) const;
  // Without intensity; the value is clamped to the range first. Min = Max gives the
  // start colour.
  TColor ColorOfValue(double v) const { return ColorOfValue(v, ValueScale()); }
  // The range as ColorOfValue maps it, its logarithms taken once for many values.
  struct TValueScale {
    double Min = 0, Max = 0, LogMin = 0, LogSpan = 0;
    bool Logarithmic = false;
  };
  TValueScale ValueScale() const;
  TColor ColorOfValue(double v, const TValueScale& scale) const;
  // What sections draw and export: the intensity applied to ColorOfValue.
  TColor DisplayColorOfValue(double v) const { return AdjustColor(ColorOfValue(v)); }
  // The lowest whole percent whose colour is nearest (intensity plays no part).
  uint8_t PercentOfColor(TColor colour) const;
  double ValueOfColor(TColor colour) const;

  // For 0 < p <= 100: the first colour index i = 1 .. Count()-1 whose position is not
  // below p, whatever the order of the stops; colours i-1 and i bound the stretch that
  // holds p. Constant time: a few stops are walked; for many, the answer for each
  // whole percent is found in one pass over the stops when first asked after they
  // changed (so, like every change, not from two threads at once on one palette).
  int StretchEnd(double p) const;
  // Up to this many stops StretchEnd walks them, as fast as a look-up, and the palette
  // holds no table of its percents.
  static constexpr size_t kStopsWalked = 32;

  // Every colour becomes its complement.
  void InvertColors();
  // The scale runs the other way: ends swapped, positions p -> 100 - p.
  void Reverse();

  // Hands the bar to a 2D drawing interface with a
  // DrawPaletteBar(rect, horizontal, startColour, endColour, colours, positions)
  // operation: stop colours and ends with the intensity applied.
  template <class TGraph, class TRectangle>
  void DrawBar(TGraph& graph, const TRectangle& rect, int orientation) const {
    std::vector<TColor> colours;
    colours.reserve(stopColors_.size());
    for (TColor c : stopColors_) colours.push_back(AdjustColor(c));
    graph.DrawPaletteBar(rect, orientation, AdjustColor(startColor_), AdjustColor(endColor_),
                         colours, stopPositions_);
  }

  // ---- palette chunk
  // False when a write failed.
  bool SaveToStream(TBinaryStream& stream) const;
  // False when the chunk is newer than version 0: it is skipped whole and the
  // palette is unchanged. Throws EStreamError on a damaged chunk (the palette is
  // then unchanged too).
  bool LoadFromStream(TBinaryStream& stream);
  // Passes over a stored palette field by field as LoadFromStream reads it, without
  // making its stops, their count in `stops` (0 for a newer chunk, skipped whole): true
  // at the chunk's end, false on every damage LoadFromStream raises EStreamError for
  // (the position is then undefined). Costs no allocation, however many stops are stored.
  static bool SkipStored(TBinaryStream& stream, int64_t& stops);

  // ---- value table of a section file
  // Takes the scale from the table at the stream's position. Throws EStreamError
  // with "File has wrong format" when the table is short or has fewer than two
  // entries; the palette is then unchanged. Keeps the automatic-range flag.
  void LoadValueTable(TBinaryStream& stream);

  // ---- palette files
  // The file's bytes: colours with the intensity applied, '.' decimal point, CR LF.
  std::string ClrText() const;
  // Replaces colours, stops and intensity from file text; range and flags stay.
  // InvalidFormat leaves the palette unchanged.
  TClrRead ReadClrText(std::string_view text);
  // Writes atomically; false (old file kept) on failure, with the system's reason.
  bool WriteClrFile(const std::string& utf8Path, std::string* error = nullptr) const;
  // TooLarge with the sentence that says so in *tooLarge.
  TClrRead ReadClrFile(const std::string& utf8Path, std::string* tooLarge = nullptr);
  // Ask for a file name (folder from and back to the settings), write or read it,
  // and report failures to the user. True on success.
  bool SaveToClrFile() const;
  bool LoadFromClrFile();

 private:
  TColor startColor_ = 0;
  TColor endColor_ = 0;
  std::vector<TColor> stopColors_;
  std::vector<uint8_t> stopPositions_;
  uint8_t intensity_ = 0;
  double min_ = 0;
  double max_ = 0;
  bool autoRange_ = false;
  bool logarithmic_ = false;
  // StretchEnd of the percents (k, k+1], k = 0 .. 99, of a palette of more than
  // kStopsWalked stops once asked; none otherwise. Every change of the stops'
  // positions, order or number forgets it (StopsChanged), and a copy starts without it.
  class TPercentStretches {
   public:
    TPercentStretches() = default;
    TPercentStretches(const TPercentStretches&) {}
    TPercentStretches(TPercentStretches&&) noexcept = default;
    TPercentStretches& operator=(const TPercentStretches&) {
      ends.reset();
      return *this;
    }
    TPercentStretches& operator=(TPercentStretches&&) noexcept = default;
    std::unique_ptr<std::array<int32_t, 100>> ends;
  };
  mutable TPercentStretches stretches_;
  void StopsChanged() { stretches_.ends.reset(); }
};

// The heap a palette's `stops` stops take: a colour and a position each.
int64_t PaletteStopsBytes(int64_t stops);

// The stops looked at by this thread so far to find the stretches of a palette's
// percents (how colouring many values grows with the stops).
int64_t PaletteStretchStepsForTesting();

// A palette's colours laid out over the values once, for colouring many values (a
// section's grid). ColorOf gives ColorOfValue's bytes and DisplayColorOf
// DisplayColorOfValue's, for every value, NaN and infinities included.
// On a logarithmic scale no logarithm is taken per value: the percents at which a
// colour byte changes are found once, each turned into a value by one exponential,
// and a value is placed among those values by a binary search. A value within a
// hair of such a value (under 1e-11 relative for ranges of a few decades) takes the
// per-value way, so that the rounding of a logarithm can never choose another
// colour. Building costs one exponential per step, at most 766 per stretch between
// neighbouring colours; a linear scale is coloured per value, which is cheap
// already. The table keeps its own copy of the palette.
class TValueColors {
 public:
  explicit TValueColors(const TZBPalette& palette);
  TColor ColorOf(double v) const;
  TColor DisplayColorOf(double v) const {
    const TColor c = ColorOf(v);
    return MakeColor(intensity_[ColorRed(c)], intensity_[ColorGreen(c)], intensity_[ColorBlue(c)]);
  }

 private:
  void LayOutSteps();

  TZBPalette palette_;
  TZBPalette::TValueScale scale_;
  // The intensity applied to one channel; it treats each channel alike.
  std::array<uint8_t, 256> intensity_{};
  // Empty unless the steps are laid out. Between neighbouring edges the colour of
  // the value is colours_[k] (k = the number of edges not above it), or the
  // per-value way is asked where colours_[k] is kAskPerValue.
  std::vector<double> edges_;
  std::vector<TColor> colours_;
};

// Opens the palette editor on the palette; dataMin = +infinity means no data range
// is known. True when the user accepted (the palette then holds the edit).
bool EditPalette(TZBPalette& palette, double dataMin, double dataMax);
// The UI installs the editor; without one EditPalette returns false and changes nothing.
using TPaletteEditor = std::function<bool(TZBPalette& palette, double dataMin, double dataMax)>;
void SetPaletteEditor(TPaletteEditor editor);

}  // namespace qira
