// Section files (*.sec), then their table exports made in memory. A section read
// is written as the record a project stores and read back: the record must bring
// back every value, name and setting, and a second write must be the same bytes.
#include "fuzz/FuzzSupport.h"
#include "model/Section.h"
#include "model/SectionExports.h"
#include "platform/BinaryStream.h"

namespace {

using namespace qira;
using fuzzing::Expect;
using fuzzing::SameBits;

bool SameArray(const std::vector<double>& a, const std::vector<double>& b, int32_t entries) {
  for (int32_t k = 0; k < entries; ++k) {
    const double x = k < static_cast<int32_t>(a.size()) ? a[k] : 0;
    const double y = k < static_cast<int32_t>(b.size()) ? b[k] : 0;
    if (!SameBits(x, y)) return false;
  }
  return true;
}

void ExpectSameSection(const TGraphSection& a, const TGraphSection& b) {
  Expect(a.Name() == b.Name(), "the name");
  Expect(a.Borehole1 == b.Borehole1 && a.Borehole2 == b.Borehole2, "the boreholes");
  Expect(SameBits(a.Frequency, b.Frequency), "the frequency");
  Expect(a.DataKind == b.DataKind, "the data kind");
  Expect(a.RowCount == b.RowCount && a.ColCount == b.ColCount, "the grid's size");
  for (const auto& [x, y] : {std::pair{&a.X1, &b.X1}, {&a.X2, &b.X2}, {&a.Y1, &b.Y1}, {&a.Y2, &b.Y2}})
    Expect(SameArray(*x, *y, a.RowCount + 1), "the row boundaries");
  Expect(SameBits(a.StartZ, b.StartZ) && SameBits(a.EndZ, b.EndZ), "the elevations");
  for (int i = 0; i < a.RowCount; ++i)
    for (int j = 0; j < a.ColCount; ++j) Expect(SameBits(a.Value(i, j), b.Value(i, j)), "a value");
  Expect(SameBits(a.DataMin, b.DataMin) && SameBits(a.DataMax, b.DataMax), "the data range");
  // As bytes, so a range that is not a number counts as kept when it is.
  TMemoryStream pa, pb;
  Expect(a.Palette.SaveToStream(pa) && b.Palette.SaveToStream(pb) && pa.Data() == pb.Data(), "the palette");
  Expect(a.ShowAboveMax == b.ShowAboveMax && a.ShowBelowMin == b.ShowBelowMin, "the show flags");
  Expect(a.ImageStyle == b.ImageStyle && a.FillMode == b.FillMode, "the style");
  Expect(SameBits(a.BoundsMin, b.BoundsMin) && SameBits(a.BoundsMax, b.BoundsMax), "the bounds");
}

std::vector<uint8_t> Record(TGraphSection& section) {
  TMemoryStream saved;
  Expect(section.SaveToStream(saved), "a section into a failed write");
  return saved.TakeData();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::Start();
  TMemoryStream stream(data, size);
  std::unique_ptr<TGraphSection> section;
  try {
    section = ReadSectionFile(stream);
  } catch (const ESectionFileError&) {
    return 0;
  }
  (void)XYZTableText(*section, true);
  (void)XYZTableCSV(*section, false);
  TClassLimits limits{};
  DefaultClassLimits(*section, limits);
  (void)BlocksTableText(*section, limits, true);
  (void)BlocksTableCSV(*section, limits, false);

  const std::vector<uint8_t> first = Record(*section);
  TMemoryStream record(first);
  TGraphSection reread;
  // What the program wrote it must read: a throw here ends the run as a finding.
  Expect(reread.LoadFromStream(record), "a section record into a skipped one");
  ExpectSameSection(*section, reread);
  Expect(Record(reread) == first, "the section record");
  return 0;
}
