#include "workspace.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "preset_builder.h"

namespace ws {

namespace fs = std::filesystem;

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && folder.back() == L'\\') return folder + name;
  return folder + L"\\" + name;
}

void MakeFolder(const std::wstring& path) {
  std::error_code error;
  fs::create_directories(fs::path(path), error);
  if (error) throw std::runtime_error("cannot create folder");
}

void RemoveTree(const std::wstring& path) {
  std::error_code error;
  fs::remove_all(fs::path(path), error);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

static void WriteRaw(const std::wstring& path, const void* data, std::size_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create a file");
  DWORD written = 0;
  const BOOL ok = size == 0 || WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != size) throw std::runtime_error("cannot write a file");
}

void WriteBytes(const std::wstring& path, const Bytes& bytes) {
  WriteRaw(path, bytes.data(), bytes.size());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  WriteRaw(path, bytes.data(), bytes.size());
}

Bytes ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a file");
  Bytes bytes(GetFileSize(file, nullptr));
  DWORD read = 0;
  const BOOL ok = bytes.empty() || ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  if (!ok || read != bytes.size()) throw std::runtime_error("cannot read a file");
  return bytes;
}

void Remove(const std::wstring& path) { DeleteFileW(path.c_str()); }

std::vector<std::wstring> Names(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Join(folder, L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

std::string Ansi(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::string IdList(const std::vector<std::pair<std::int32_t, std::wstring>>& entries) {
  std::string text;
  for (const auto& entry : entries) {
    text += std::to_string(entry.first) + "," + Ansi(entry.second) + "\r\n";
  }
  return text;
}

std::string ExList(const std::vector<std::wstring>& names) {
  std::string text;
  for (const std::wstring& name : names) text += Ansi(name) + "\r\n";
  return text;
}

Bytes Preset(const std::vector<std::int32_t>& ids) {
  kvo::test::PresetBuilder builder;
  builder.ListHeader(static_cast<std::uint32_t>(ids.size()));
  for (std::int32_t id : ids) builder.Entry(id, u"item");
  // The list header is only recognised with an entry after it, even when it
  // counts none; this one is not part of the list.
  if (ids.empty()) builder.Entry(999999, u"unused");
  return builder.Build();
}

Bytes Settings(const std::wstring& plugin, const std::wstring& preset, const std::wstring& work) {
  Bytes record(1560, 0);
  const std::wstring* paths[3] = {&plugin, &preset, &work};
  for (int slot = 0; slot < 3; ++slot) {
    const std::wstring& path = *paths[slot];
    for (std::size_t i = 0; i < path.size() && i < 259; ++i) {
      record[520 * slot + 2 * i] = static_cast<unsigned char>(path[i] & 0xFF);
      record[520 * slot + 2 * i + 1] = static_cast<unsigned char>(path[i] >> 8);
    }
  }
  return record;
}

std::vector<std::wstring> SettingsPaths(const Bytes& record) {
  std::vector<std::wstring> paths;
  for (std::size_t slot = 0; slot < 3; ++slot) {
    std::wstring path;
    for (std::size_t i = 0; i < 260; ++i) {
      const std::size_t at = 520 * slot + 2 * i;
      if (at + 1 >= record.size()) break;
      const wchar_t unit = static_cast<wchar_t>(record[at] | record[at + 1] << 8);
      if (unit == 0) break;
      path += unit;
    }
    paths.push_back(path);
  }
  return paths;
}

void Workspace::Create(const std::wstring& rootFolder, const std::wstring& exeSource) {
  root = rootFolder;
  exe = Join(root, L"KvoManager.exe");
  settings = Join(root, L"KvoManager.dat");
  plugin = Join(root, L"Plugin");
  preset = Join(root, L"Preset");
  work = Join(root, L"Work");
  RemoveTree(root);
  MakeFolder(plugin);
  MakeFolder(preset);
  MakeFolder(work);
  if (!CopyFileW(exeSource.c_str(), exe.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy KvoManager.exe");
  }
}

void Workspace::WriteSettings() const { WriteBytes(settings, Settings(plugin, preset, work)); }

static std::string Archive(const std::wstring& name) { return "archive " + Ansi(name) + "\n"; }

void LayOutStandard(const Workspace& w) {
  WriteBytes(Join(w.root, L"IdList.txt"), IdList({{100, L"Alpha.vac"},
                                                  {200, L"Beta.vac"},
                                                  {300, L"Gamma.vac"},
                                                  {400, L"音源.vac"},
                                                  {500, L"Delta.vac,second field"}}));
  WriteBytes(Join(w.root, L"ExList.txt"), ExList({L"Base.vac"}));
  WriteBytes(Join(w.preset, L"Song1.kvo"), Preset({100, 200}));
  WriteBytes(Join(w.preset, L"Song2.kvo"), Preset({300, 400}));
  WriteBytes(Join(w.preset, L"Song3.kvo"), Preset({500, 67108864}));
  WriteBytes(Join(w.preset, L"Empty.kvo"), Preset({}));
  WriteBytes(Join(w.preset, L"Broken.kvo"), std::string("not a preset at all"));
  for (const wchar_t* name : {L"Alpha.vac", L"Base.vac", L"Beta.vac", L"Old.vac"}) {
    WriteBytes(Join(w.plugin, name), Archive(name));
  }
  for (const wchar_t* name : {L"Gamma.vac", L"Unused.vac", L"音源.vac"}) {
    WriteBytes(Join(w.work, name), Archive(name));
  }
  w.WriteSettings();
}

const wchar_t kStandardCheckLog[] =
    L"■準備\r\n"
    L"→ Plugin/Preset/Work = 4/5/3\r\n"
    L"■kvoの状態\r\n"
    L"→ 不足無し/不足有り = 2/2\r\n"
    L"Song2.kvo\r\n"
    L"  - Gamma.vac\r\n"
    L"  - 音源.vac\r\n"
    L"Song3.kvo\r\n"
    L"  - \?\?\?(67108864)\r\n"
    L"  - Delta.vac\r\n"
    L"\r\n";

const wchar_t kStandardExecuteLog[] =
    L"■準備\r\n"
    L"→ Plugin/Preset/Work = 4/5/3\r\n"
    L"■不要ファイルの移動(Plugin -> Work)\r\n"
    L"→ 成功/失敗 = 1/0\r\n"
    L"■必要ファイルの移動(Work -> Plugin)\r\n"
    L"→ 成功/失敗 = 2/0\r\n"
    L"■kvoの状態\r\n"
    L"→ 不足無し/不足有り = 3/1\r\n"
    L"Song3.kvo\r\n"
    L"  - \?\?\?(67108864)\r\n"
    L"  - Delta.vac\r\n"
    L"\r\n";

const wchar_t kStandardRepeatLog[] =
    L"■準備\r\n"
    L"→ Plugin/Preset/Work = 5/5/2\r\n"
    L"■不要ファイルの移動(Plugin -> Work)\r\n"
    L"→ 成功/失敗 = 0/0\r\n"
    L"■必要ファイルの移動(Work -> Plugin)\r\n"
    L"→ 成功/失敗 = 0/0\r\n"
    L"■kvoの状態\r\n"
    L"→ 不足無し/不足有り = 3/1\r\n"
    L"Song3.kvo\r\n"
    L"  - \?\?\?(67108864)\r\n"
    L"  - Delta.vac\r\n"
    L"\r\n";

void LayOutManyPresets(const Workspace& w, int presets, int archives) {
  std::vector<std::pair<std::int32_t, std::wstring>> ids;
  std::vector<Bytes> needing;  // the preset that needs archive i
  for (int i = 1; i <= archives; ++i) {
    wchar_t name[16];
    wsprintfW(name, L"A%04d.vac", i);
    ids.emplace_back(i, name);
    WriteBytes(Join(w.plugin, name), Archive(name));
    needing.push_back(Preset({i}));
  }
  WriteBytes(Join(w.root, L"IdList.txt"), IdList(ids));
  const std::wstring complete = Join(w.preset, L"complete-" + std::to_wstring(presets) + L"-" +
                                                   std::to_wstring(archives) + L".txt");
  const std::wstring first = Join(w.preset, L"P00000.kvo");
  if (!Exists(complete) || !Exists(first) || ReadBytes(first) != needing[0]) {
    RemoveTree(w.preset);
    MakeFolder(w.preset);
    for (int i = 0; i < presets; ++i) {
      wchar_t name[16];
      wsprintfW(name, L"P%05d.kvo", i);
      WriteBytes(Join(w.preset, name), needing[static_cast<std::size_t>(i % archives)]);
    }
    WriteBytes(complete, std::string("written whole\r\n"));
  }
  w.WriteSettings();
}

void LayOutDemo(const Workspace& w) {
  LayOutStandard(w);
  WriteBytes(Join(w.root, L"IdList.txt"), IdList({{100, L"Alpha.vac"},
                                                  {200, L"Beta.vac"},
                                                  {300, L"Gamma.vac"},
                                                  {400, L"音源.vac"},
                                                  {500, L"Delta.vac,second field"},
                                                  {600, L"ピアノ.vac"},
                                                  {601, L"弦楽器.vac"}}));
  WriteBytes(Join(w.preset, L"夜想曲.kvo"), Preset({600, 601, 100}));
  WriteBytes(Join(w.preset, L"練習曲.kvo"), Preset({100, 200}));
  WriteBytes(Join(w.work, L"ピアノ.vac"), Archive(L"ピアノ.vac"));
}

}  // namespace ws
