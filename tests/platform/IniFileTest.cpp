#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/CommaDecimalLocale.h"
#include "support/PeerRun.h"
#include "support/ScratchFolder.h"

namespace qira {
namespace {

// Endings of all three kinds, blanks around names and values, a comment, a line
// that is neither a section nor an entry, 1252 bytes.
const std::string kStored =
    "; settings\r\n"
    "[Main]\r\n"
    "InclinationPath = /data/ink \r\n"
    "Metric_Units=1\n"
    "free text line\n"
    "\r\n"
    "[ Main Section ]\r"
    "FName1=/p/a.q3d\r"
    "\r"
    "[Form3D]\r\n"
    "Panel width=250\r\n"
    "Caf\xE9=na\xEFve\r\n"
    "Empty=\r\n";

class IniFileTest : public ::testing::Test {
 protected:
  TScratchFolder dir;
  std::string path = dir.File("qira3d.ini");
  std::unique_ptr<TIniFile> Load() {
    dir.Put("qira3d.ini", kStored);
    return std::make_unique<TIniFile>(path);
  }
};

TEST_F(IniFileTest, ReadsKeysWithBlanksCaseInsensitively) {
  auto ini = Load();
  EXPECT_EQ(ini->ReadString("Main", "InclinationPath", "-"), "/data/ink");
  EXPECT_EQ(ini->ReadString("main", "INCLINATIONPATH", "-"), "/data/ink");
  EXPECT_EQ(ini->ReadString("Main Section", "FName1", "-"), "/p/a.q3d");
  EXPECT_EQ(ini->ReadString("MAIN SECTION", "fname1", "-"), "/p/a.q3d");
  EXPECT_EQ(ini->ReadInteger("form3d", "panel width", 0), 250);
  EXPECT_EQ(ini->ReadString("Form3D", "Empty", "-"), "");
  EXPECT_EQ(ini->ReadString("Form3D", "Missing", "-"), "-");
  EXPECT_EQ(ini->ReadString("Nowhere", "FName1", "-"), "-");
  // Windows-1252 on disk, UTF-8 in the program.
  EXPECT_EQ(ini->ReadString("Form3D", "Caf\u00E9", "-"), "na\u00EFve");
  EXPECT_EQ(ini->ReadSections(), (std::vector<std::string>{"Main", "Main Section", "Form3D"}));
  EXPECT_EQ(ini->ReadSection("form3d"), (std::vector<std::string>{"Panel width", "Caf\u00E9", "Empty"}));
  EXPECT_TRUE(ini->SectionExists("main section"));
  EXPECT_FALSE(ini->SectionExists("Palette"));
  EXPECT_TRUE(ini->ValueExists("Main", "metric_units"));
  EXPECT_FALSE(ini->ValueExists("Main", "free text line"));

  // Many sections, keys and repeats: each name checked against every one before it,
  // each repeat searched for from the top.
  constexpr int kMany = 80000;
  std::string many = "[Big]\r\n";
  for (int i = 0; i < kMany; ++i) many += "K" + std::to_string(i) + "=" + std::to_string(i) + "\r\nk0=again\r\n";
  for (int i = 0; i < kMany; ++i) many += "[S" + std::to_string(i) + "]\r\nx=1\r\n[dup]\r\ny=2\r\n";
  dir.Put("many.ini", many);
  TIniFile big(dir.File("many.ini"));
  const std::vector<std::string> sections = big.ReadSections();
  ASSERT_EQ(sections.size(), static_cast<size_t>(kMany + 2));
  EXPECT_EQ(sections[2], "dup");
  const std::vector<std::string> keys = big.ReadSection("BIG");
  ASSERT_EQ(keys.size(), static_cast<size_t>(kMany));
  EXPECT_EQ(keys.back(), "K" + std::to_string(kMany - 1));
  big.EraseSection(" DUP ");
  EXPECT_FALSE(big.SectionExists("dup"));
  EXPECT_EQ(big.ReadSections().size(), static_cast<size_t>(kMany + 1));
  EXPECT_EQ(big.ReadString("S" + std::to_string(kMany - 1), "x", "-"), "1");
}

// A file of the original system (Windows-1252) is written back as UTF-8.
TEST_F(IniFileTest, UnchangedFileIsWrittenBackWithCrLfAndEveryLineKept) {
  auto ini = Load();
  ASSERT_TRUE(ini->UpdateFile());
  EXPECT_EQ(dir.Get("qira3d.ini"),
            "; settings\r\n"
            "[Main]\r\n"
            "InclinationPath = /data/ink \r\n"
            "Metric_Units=1\r\n"
            "free text line\r\n"
            "\r\n"
            "[ Main Section ]\r\n"
            "FName1=/p/a.q3d\r\n"
            "\r\n"
            "[Form3D]\r\n"
            "Panel width=250\r\n"
            "Caf\u00E9=na\u00EFve\r\n"
            "Empty=\r\n");
}

// Folder names outside Windows-1252 (Cyrillic, CJK) must survive a restart.
TEST_F(IniFileTest, PathsInAnyScriptSurviveWriteAndRead) {
  const std::string folder = "/home/\u0438\u0432\u0430\u043D/\u6570\u636E/\u00E9t\u00E9";
  {
    TIniFile ini(path);
    ini.WriteString("Main", "ExportPath", folder);
    ASSERT_TRUE(ini.UpdateFile());
  }
  EXPECT_EQ(dir.Get("qira3d.ini"), "[Main]\r\nExportPath=" + folder + "\r\n");
  TIniFile again(path);
  EXPECT_EQ(again.ReadString("Main", "ExportPath", "-"), folder);
}

TEST_F(IniFileTest, WritesGoIntoPlaceAndKeepTheRest) {
  auto ini = Load();
  ini->WriteString("MAIN", "inclinationpath", "/x y");      // existing key keeps its spelling
  ini->WriteInteger("Main", "ExportFilterIndex", 2);         // new key after the last entry
  ini->WriteBool("Main Section", "Flag", true);
  ini->WriteString("Parameters", "Win7FullScreenMode", "0");  // new section at the end
  ini->WriteString("Form3D", "Caf\u00E9", "\u20AC 5");
  ini->WriteString("Form3D", "Two", "a\r\nb");
  ini->DeleteKey("Form3D", "EMPTY");
  ASSERT_TRUE(ini->UpdateFile());
  EXPECT_EQ(dir.Get("qira3d.ini"),
            "; settings\r\n"
            "[Main]\r\n"
            "InclinationPath=/x y\r\n"
            "Metric_Units=1\r\n"
            "free text line\r\n"
            "ExportFilterIndex=2\r\n"
            "\r\n"
            "[ Main Section ]\r\n"
            "FName1=/p/a.q3d\r\n"
            "Flag=1\r\n"
            "\r\n"
            "[Form3D]\r\n"
            "Panel width=250\r\n"
            "Caf\u00E9=\u20AC 5\r\n"
            "Two=a  b\r\n"
            "[Parameters]\r\n"
            "Win7FullScreenMode=0\r\n");
}

TEST_F(IniFileTest, NumbersAndBooleans) {
  dir.Put("n.ini",
          "[N]\nDec= -42 \nHex=$1F\nHexC=0x10\nAllOnes=$FFFFFFFF\nBad=12a\nBig=99999999999\n"
          "Point=2.5\nComma=2,5\nOne=1\nZero=0\nYes=yes\n");
  TIniFile ini(dir.File("n.ini"));
  EXPECT_EQ(ini.ReadInteger("N", "Dec", 0), -42);
  EXPECT_EQ(ini.ReadInteger("N", "Hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("N", "HexC", 0), 16);
  EXPECT_EQ(ini.ReadInteger("N", "AllOnes", 0), -1);
  EXPECT_EQ(ini.ReadInteger("N", "Bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("N", "Big", 7), 7);
  EXPECT_EQ(ini.ReadInteger("N", "Missing", 7), 7);
  EXPECT_EQ(ini.ReadFloat("N", "Point", 0), 2.5);
  EXPECT_EQ(ini.ReadFloat("N", "Comma", 0), 2.5);
  EXPECT_EQ(ini.ReadFloat("N", "Bad", -1), -1);
  EXPECT_TRUE(ini.ReadBool("N", "One", false));
  EXPECT_FALSE(ini.ReadBool("N", "Zero", true));
  EXPECT_TRUE(ini.ReadBool("N", "Yes", true));  // not a number: the default
  EXPECT_FALSE(ini.ReadBool("N", "Yes", false));
}

TEST_F(IniFileTest, FloatsAreWrittenWithAPointUnderACommaLocale) {
  TCommaDecimalLocale comma;
  TIniFile ini(path);
  ini.WriteFloat("F", "X", 0.1);
  ini.WriteFloat("F", "Y", -2.5e-7);
  EXPECT_EQ(ini.Text(), "[F]\r\nX=0.1\r\nY=-2.5e-07\r\n");
  EXPECT_EQ(ini.ReadFloat("F", "X", 0), 0.1);
}

TEST_F(IniFileTest, MissingFileIsEmptyAndIsCreatedOnUpdateButNotInAMissingFolder) {
  TIniFile ini(path);
  EXPECT_TRUE(ini.ReadSections().empty());
  EXPECT_EQ(ini.ReadString("Main", "ExportPath", "/home"), "/home");
  ini.WriteString("Main", "ExportPath", "/e");
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(dir.Get("qira3d.ini"), "[Main]\r\nExportPath=/e\r\n");
  TIniFile elsewhere(dir.File("none/qira3d.ini"));
  elsewhere.WriteString("Main", "A", "1");
  std::string error;
  EXPECT_FALSE(elsewhere.UpdateFile(&error));  // into a missing folder
  EXPECT_FALSE(error.empty());
}

// The written file, read by Python's own ini parser.
TEST_F(IniFileTest, WrittenFileReadsBackInAnIndependentParser) {
  TIniFile ini(path);
  ini.WriteString("Main Section", "FName1", "/p/\u00E9t\u00E9.q3d");
  ini.WriteInteger("Form3D", "Panel width", 250);
  ini.WriteBool("Parameters", "Win7FullScreenMode", true);
  ASSERT_TRUE(ini.UpdateFile());
  const test::TPeerOutput peer = test::RunPython(
      dir, "dump.py",
      "import configparser, sys\n"
      "p = configparser.ConfigParser(interpolation=None)\n"
      "p.optionxform = str\n"
      "p.read(sys.argv[1], encoding='utf-8')\n"
      "out = []\n"
      "for s in p.sections():\n"
      "    for k, v in p.items(s):\n"
      "        out.append(s + '|' + k + '|' + v)\n"
      "sys.stdout.buffer.write('\\n'.join(out).encode('utf-8'))\n",
      {path});
  ASSERT_EQ(peer.status, 0) << peer.text;
  EXPECT_EQ(peer.text,
            "Main Section|FName1|/p/\u00E9t\u00E9.q3d\n"
            "Form3D|Panel width|250\n"
            "Parameters|Win7FullScreenMode|1");
}

}  // namespace
}  // namespace qira
