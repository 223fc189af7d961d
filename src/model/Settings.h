#pragma once
// The program's settings: one ini file named after the program (in the user's
// configuration folder), read completely at start into one shared in-memory object
// and written completely at the end; nothing reaches the disk in between. Keys the
// program does not know are kept as they were.
//
// This unit keeps three remembered folders and the full-screen mode as globals; every
// window and dialog reads and writes its own keys through the shared object. The
// catalogue below lists every fixed key; the drawing-parameter sets add sections
// named after themselves.
#include <string>
#include <vector>

#include "platform/IniFile.h"

namespace qira {

enum class TSettingKind { String, Integer, Boolean };

struct TSettingKey {
  const char* Section;
  const char* Key;
  TSettingKind Kind;
};

namespace SettingKeys {
// Globals of this unit (read at start, written at the end).
inline constexpr TSettingKey InclinationPath{"Main", "InclinationPath", TSettingKind::String};
inline constexpr TSettingKey ExportPath{"Main", "ExportPath", TSettingKind::String};
inline constexpr TSettingKey ImportPath{"Main", "ImportPath", TSettingKind::String};
inline constexpr TSettingKey Win7FullScreenMode{"Parameters", "Win7FullScreenMode",
                                                TSettingKind::Boolean};
// Export save dialogs: units (default true = metres) and table filter (default 1).
inline constexpr TSettingKey MetricUnits{"Main", "Metric_Units", TSettingKind::Boolean};
inline constexpr TSettingKey ExportFilterIndex{"Main", "ExportFilterIndex", TSettingKind::Integer};
// Export preview size (defaults two thirds of the screen).
inline constexpr TSettingKey ColorPreviewHeightWidth{"Main", "ColorPreviewHeightWidth",
                                                     TSettingKind::Integer};
inline constexpr TSettingKey ColorPreviewFormWidth{"Main", "ColorPreviewFormWidth",
                                                   TSettingKind::Integer};
// Potential section: the last number of divisions (default 10).
inline constexpr TSettingKey DivisionIdent{"Main", "DivisionIdent", TSettingKind::Integer};
// Palette files: the last folder.
inline constexpr TSettingKey PalettePath{"Palette", "Path", TSettingKind::String};
// Recent project files, newest first.
inline constexpr TSettingKey RecentFile1{"Main Section", "FName1", TSettingKind::String};
inline constexpr TSettingKey RecentFile2{"Main Section", "FName2", TSettingKind::String};
inline constexpr TSettingKey RecentFile3{"Main Section", "FName3", TSettingKind::String};
inline constexpr TSettingKey RecentFile4{"Main Section", "FName4", TSettingKind::String};
inline constexpr TSettingKey RecentFile5{"Main Section", "FName5", TSettingKind::String};
// View window placement (tree width default 155).
inline constexpr TSettingKey PanelWidth{"Form3D", "Panel width", TSettingKind::Integer};
inline constexpr TSettingKey Maximized{"Form3D", "Maximized", TSettingKind::Boolean};
inline constexpr TSettingKey FormWidth{"Form3D", "Width", TSettingKind::Integer};
inline constexpr TSettingKey FormHeight{"Form3D", "Height", TSettingKind::Integer};
inline constexpr TSettingKey FormLeft{"Form3D", "Left", TSettingKind::Integer};
inline constexpr TSettingKey FormTop{"Form3D", "Top", TSettingKind::Integer};
// Picture saving: filter index (default 3, PNG), resolution (300), transparency (true).
inline constexpr TSettingKey PictureFileType{"Form3D", "FileType", TSettingKind::Integer};
inline constexpr TSettingKey PictureDpi{"Form3D", "DPI", TSettingKind::Integer};
inline constexpr TSettingKey PictureTransparency{"Form3D", "Transparency", TSettingKind::Boolean};
}  // namespace SettingKeys

// Every fixed key, grouped by section.
const std::vector<TSettingKey>& SettingsCatalogue();

// The remembered folders (default: the current directory at start) and the
// full-screen mode (true: the independent full-screen viewer; default false).
extern std::string InclinationPath;
extern std::string ExportPath;
extern std::string ImportPath;
extern bool Win7FullScreenMode;

// Reads the settings file (SettingsFilePath of the running program); a missing or
// unreadable file gives every key its default.
void LoadSettings();
// The same from a given file, with startDirectory as the folders' default.
void LoadSettings(const std::string& iniPath, const std::string& startDirectory);
// Writes the globals into the object, then the whole object to its file (creating
// the folder), atomically; on failure shows "Can not create initialization file",
// the file and the system's reason ("... file /x/qira3d.ini: Not a directory") as an
// error and returns false, the old file untouched. Then frees the object.
bool SaveSettings();

// The shared object; loads the settings first when that has not happened.
TIniFile& SettingsIni();

// Typed access by catalogue key.
std::string ReadSetting(const TSettingKey& key, const std::string& def);
int ReadSetting(const TSettingKey& key, int def);
bool ReadSetting(const TSettingKey& key, bool def);
void WriteSetting(const TSettingKey& key, const std::string& value);
void WriteSetting(const TSettingKey& key, int value);
void WriteSetting(const TSettingKey& key, bool value);
// Disambiguates string literals from the Boolean overloads.
inline std::string ReadSetting(const TSettingKey& key, const char* def) {
  return ReadSetting(key, std::string(def));
}
inline void WriteSetting(const TSettingKey& key, const char* value) {
  WriteSetting(key, std::string(value));
}

}  // namespace qira
