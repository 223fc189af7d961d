// Palette files (*.clr): read, written as a file and as the palette record of a
// project, each read back. The file holds colours with the intensity applied,
// so its first write is the canonical form: a second write of what it reads
// must be the same bytes. The record must bring back the same palette.
#include "fuzz/FuzzSupport.h"
#include "model/Palette.h"
#include "platform/BinaryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qira;
  fuzzing::Start();
  TZBPalette palette;
  if (palette.ReadClrText(fuzzing::Text(data, size)) != TClrRead::Ok) return 0;

  const std::string written = palette.ClrText();
  TZBPalette reread;
  fuzzing::Expect(reread.ReadClrText(written) == TClrRead::Ok, "a palette file into an unreadable one");
  fuzzing::Expect(reread.ClrText() == written, "the palette file's colours");

  TMemoryStream saved;
  fuzzing::Expect(palette.SaveToStream(saved), "a palette into a failed write");
  TMemoryStream record(saved.TakeData());
  TZBPalette loaded;
  // A throw here ends the run as a finding.
  fuzzing::Expect(loaded.LoadFromStream(record), "a palette record into a skipped one");
  fuzzing::Expect(loaded.SameAs(palette), "the palette record");
  return 0;
}
