#include "model/Settings.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "model/StreamHelpers.h"
#include "platform/ConfigPaths.h"

namespace qira {

std::string InclinationPath;
std::string ExportPath;
std::string ImportPath;
bool Win7FullScreenMode = false;

namespace {

std::unique_ptr<TIniFile>& Shared() {
  static std::unique_ptr<TIniFile> ini;
  return ini;
}

std::string CurrentDirectory() {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

}  // namespace

const std::vector<TSettingKey>& SettingsCatalogue() {
  namespace K = SettingKeys;
  static const std::vector<TSettingKey> catalogue = {
      K::InclinationPath, K::ExportPath, K::ImportPath, K::MetricUnits, K::ExportFilterIndex,
      K::ColorPreviewHeightWidth, K::ColorPreviewFormWidth, K::DivisionIdent,
      K::Win7FullScreenMode,
      K::PalettePath,
      K::RecentFile1, K::RecentFile2, K::RecentFile3, K::RecentFile4, K::RecentFile5,
      K::PanelWidth, K::Maximized, K::FormWidth, K::FormHeight, K::FormLeft, K::FormTop,
      K::PictureFileType, K::PictureDpi, K::PictureTransparency,
  };
  return catalogue;
}

void LoadSettings(const std::string& iniPath, const std::string& startDirectory) {
  Shared() = std::make_unique<TIniFile>(iniPath);
  const TIniFile& ini = *Shared();
  const TSettingKey& inclination = SettingKeys::InclinationPath;
  const TSettingKey& exportPath = SettingKeys::ExportPath;
  const TSettingKey& importPath = SettingKeys::ImportPath;
  const TSettingKey& fullScreen = SettingKeys::Win7FullScreenMode;
  InclinationPath = ini.ReadString(inclination.Section, inclination.Key, startDirectory);
  ExportPath = ini.ReadString(exportPath.Section, exportPath.Key, startDirectory);
  ImportPath = ini.ReadString(importPath.Section, importPath.Key, startDirectory);
  Win7FullScreenMode = ini.ReadBool(fullScreen.Section, fullScreen.Key, false);
}

void LoadSettings() { LoadSettings(SettingsFilePath(), CurrentDirectory()); }

bool SaveSettings() {
  std::unique_ptr<TIniFile> ini = std::move(Shared());
  if (!ini) return true;  // never loaded: nothing of this run to keep
  const TSettingKey& inclination = SettingKeys::InclinationPath;
  const TSettingKey& exportPath = SettingKeys::ExportPath;
  const TSettingKey& importPath = SettingKeys::ImportPath;
  const TSettingKey& fullScreen = SettingKeys::Win7FullScreenMode;
  ini->WriteString(inclination.Section, inclination.Key, InclinationPath);
  ini->WriteString(exportPath.Section, exportPath.Key, ExportPath);
  ini->WriteString(importPath.Section, importPath.Key, ImportPath);
  ini->WriteBool(fullScreen.Section, fullScreen.Key, Win7FullScreenMode);

  const std::filesystem::path folder = std::filesystem::path(ini->FileName()).parent_path();
  std::string reason;
  bool ok = folder.empty() || EnsureFolderExists(folder.string(), &reason);
  ok = ok && ini->UpdateFile(&reason);
  if (!ok) ShowMessageDlg("Can not create initialization file " + ini->FileName() + ": " + reason, 1);
  return ok;
}

TIniFile& SettingsIni() {
  if (!Shared()) LoadSettings();
  return *Shared();
}

std::string ReadSetting(const TSettingKey& key, const std::string& def) {
  return SettingsIni().ReadString(key.Section, key.Key, def);
}
int ReadSetting(const TSettingKey& key, int def) {
  return SettingsIni().ReadInteger(key.Section, key.Key, def);
}
bool ReadSetting(const TSettingKey& key, bool def) {
  return SettingsIni().ReadBool(key.Section, key.Key, def);
}
void WriteSetting(const TSettingKey& key, const std::string& value) {
  SettingsIni().WriteString(key.Section, key.Key, value);
}
void WriteSetting(const TSettingKey& key, int value) {
  SettingsIni().WriteInteger(key.Section, key.Key, value);
}
void WriteSetting(const TSettingKey& key, bool value) {
  SettingsIni().WriteBool(key.Section, key.Key, value);
}

}  // namespace qira
