#include "run_model.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "list_reference.h"
#include "reconcile/folders.h"
#include "reconcile/run.h"
#include "platform/platform.h"

namespace kvo::test {
namespace {

// The model borrows the product's name order and code page conversion: they
// are the system's own (lstrcmpiW, MultiByteToWideChar on Windows), not the
// tool's rules, and have tests of their own in platform_test.cpp. Everything
// else here is stated anew, on purpose.
struct Less {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return platform::CompareNames(a.c_str(), b.c_str()) < 0;
  }
};
using Names = std::set<std::u16string, Less>;  // the first spelling inserted stays
using Table = std::multimap<std::int32_t, std::u16string>;

std::u16string Widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}
std::u16string Num(long long n) { return Widen(std::to_string(n)); }

// A file's bytes; empty when it cannot be read (for a side list the same as
// an empty list). Named as it stands: CON.kvo is a file, not a device.
std::string Bytes(const fs::path& file) { return ReadText(file); }

FolderContents Contents(const fs::path& folder) {
  FolderContents out;
  std::error_code error;
  if (!fs::is_directory(folder, error)) return out;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const bool dir = fs::is_directory(Verbatim(entry.path()));
    out[entry.path().filename().u8string()] = dir ? "<dir>" : Bytes(entry.path());
  }
  return out;
}

// The entries whose names end in `extension`, letter case aside.
Names Listing(const FolderContents& folder, const std::u16string& extension) {
  Names out;
  for (const auto& entry : folder) {
    const std::u16string name = U16(entry.first);
    if (name.size() >= extension.size() &&
        platform::CompareNames(name.substr(name.size() - extension.size()).c_str(),
                               extension.c_str()) == 0) {
      out.insert(name);
    }
  }
  return out;
}

// ---- side lists ---------------------------------------------------------

// LF ends a line and a CR just before it is dropped; a last line without LF
// counts. The text is the bytes in the ANSI code page or the decoded UTF-16
// units alike.
template <typename Str>
std::vector<Str> Lines(const Str& text) {
  std::vector<Str> lines;
  Str line;
  for (auto c : text) {
    if (c != '\n') {
      line += c;
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    line.clear();
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (!text.empty() && text.back() != '\n') lines.push_back(line);
  return lines;
}

// A name as a list gives it; false when it does not fit a path (skipped).
bool Name(const std::string& bytes, std::u16string& out) {
  return platform::AnsiToUtf16(bytes.data(), bytes.size(), out) && out.size() < kMaxPath;
}
bool Name(const std::u16string& units, std::u16string& out) {
  out = units;
  return out.size() < kMaxPath;
}

template <typename Str>
std::int32_t ItemId(const Str& line) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || (line[i] >= '\t' && line[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  long long value = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    value = std::min(value * 10 + (line[i] - '0'), 1LL << 40);
  }
  return static_cast<std::int32_t>(
      std::clamp<long long>(negative ? -value : value, INT32_MIN, INT32_MAX));
}

template <typename Str>
void ExListNames(const Str& text, Names& exList) {
  std::u16string name;
  for (const Str& line : Lines(text)) {
    if (Name(line, name)) exList.insert(name);
  }
}

template <typename Str>
void IdListEntries(const Str& text, Table& ids) {
  std::u16string name;
  for (const Str& line : Lines(text)) {
    const std::size_t comma = line.find(',');
    if (comma == Str::npos) continue;
    const std::size_t end = line.find(',', comma + 1);
    const std::size_t length = end == Str::npos ? Str::npos : end - comma - 1;
    if (Name(line.substr(comma + 1, length), name)) ids.emplace(ItemId(line), name);
  }
}

// A list file read the plain way: its encoding decided by
// ReferenceDecode, not by the product's decoder. false, nothing read, when
// the decoded text holds a NUL: that is no list.
template <typename Into>
bool ReadList(const fs::path& file, Into& into, void (*bytes)(const std::string&, Into&),
              void (*units)(const std::u16string&, Into&)) {
  const ReferenceText text = ReferenceDecode(Bytes(file), platform::AnsiCodePageInfo());
  if (text.ansi) {
    if (text.bytes.find('\0') != std::string::npos) return false;
    bytes(text.bytes, into);
  } else {
    if (text.units.find(u'\0') != std::u16string::npos) return false;
    units(text.units, into);
  }
  return true;
}

// ---- presets --------------------------------------------------------------

std::uint32_t U32(const std::string& d, std::int64_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(d[at + i]);
  return value;
}
std::int32_t I32(const std::string& d, std::int64_t at) {
  return static_cast<std::int32_t>(U32(d, at));
}

// The label length of a well-formed entry at r that has `tail` more bytes
// after its label inside the data; 0 when there is none.
int Entry(const std::string& d, std::int64_t r, std::int64_t tail) {
  const std::int64_t size = static_cast<std::int64_t>(d.size());
  if (r + 4 > size) return 0;
  const std::int32_t length = I32(d, r);
  if (length < 4 || length > 16 || length % 2 != 0 || r + 4 + length + tail > size) return 0;
  for (int unit = 0; unit < length / 2; ++unit) {  // zero exactly in the last unit
    const bool zero = d[r + 4 + 2 * unit] == 0 && d[r + 5 + 2 * unit] == 0;
    if (zero != (unit == length / 2 - 1)) return 0;
  }
  return U32(d, r + 4 + length) == 0 ? length : 0;
}

// 0 with the preset's needs, or -1 when it is no readable preset (too short,
// wrong magic, scan start before the file, or a search that runs off the end).
int ReadPreset(const std::string& d, const Table& ids, Names& needs) {
  static const char kMagic[14] = {'P', 0, 'X', 0, 'L', 0, 'T', 0, '/', 0, '0', 0, 0, 0};
  const std::int64_t size = static_cast<std::int64_t>(d.size());
  if (size < 48 || d.compare(0, 14, std::string(kMagic, 14)) != 0) return -1;
  std::int64_t p = 304 + static_cast<std::int64_t>(I32(d, 44));
  if (p < 0) return -1;
  for (; p + 29 <= size; ++p) {
    if (I32(d, p) == 13 && U32(d, p + 17) <= 255 && Entry(d, p + 21, 4) != 0) break;
  }
  if (p + 29 > size) return -1;
  std::int64_t r = p + 21;
  for (std::uint32_t n = U32(d, p + 17); n > 0; --n) {
    while (Entry(d, r, 8) == 0) {
      if (++r >= size) return -1;
    }
    const int length = Entry(d, r, 8);
    const std::int32_t id = I32(d, r + 8 + length);
    const auto found = ids.equal_range(id);
    for (auto at = found.first; at != found.second; ++at) needs.insert(at->second);
    if (found.first == found.second && id >= 67108864) {
      needs.insert(u"\?\?\?(" + Num(id) + u")");
    }
    r += 16 + length;
  }
  return 0;
}

// ---- the run --------------------------------------------------------------

// Moves each listed name whose membership in `required` equals
// `moveRequired`; a move fails when the destination holds that name already,
// and is then named under the counts.
void MovePhase(const char16_t* heading, const Names& listing, const Names& required,
               bool moveRequired, FolderContents& from, FolderContents& to, std::u16string& log) {
  int succeeded = 0;
  int failed = 0;
  std::u16string failures;
  for (const std::u16string& name : listing) {
    if ((required.count(name) != 0) != moveRequired) continue;
    const std::string key = U8(name);
    const bool taken = std::any_of(to.begin(), to.end(), [&](const auto& entry) {
      return platform::CompareNames(U16(entry.first).c_str(), name.c_str()) == 0;
    });
    if (from.count(key) == 0 || taken) {
      ++failed;
      failures += u"  - " + name +
                  (from.count(key) == 0 ? u" (ファイルが見つかりません)\r\n"
                                        : u" (移動先に同じ名前のファイルがあります)\r\n");
      continue;
    }
    to[key] = from[key];
    from.erase(key);
    ++succeeded;
  }
  log += heading;
  log += u"→ 成功/失敗 = " + Num(succeeded) + u"/" + Num(failed) + u"\r\n" + failures;
}

}  // namespace

ModelOutcome ModelRun(const fs::path& exeFolder, const fs::path& plugin, const fs::path& preset,
                      const fs::path& work, RunMode mode) {
  ModelOutcome out;
  std::u16string& log = out.log;
  out.plugin = Contents(plugin);
  out.work = Contents(work);
  log += u"■準備\r\n";

  Names exList;
  const bool exListRead = ReadList(exeFolder / "ExList.txt", exList, ExListNames<std::string>,
                                   ExListNames<std::u16string>);
  Table ids;
  ReadList(exeFolder / "IdList.txt", ids, IdListEntries<std::string>, IdListEntries<std::u16string>);
  out.idEntries = ids.size();
  // IdList.txt first: missing, holding a NUL or without entries.
  if (ids.empty()) {
    log += u"IdList.txt: 読み込み失敗\r\n";
    out.result = RunResult::kAborted;
    return out;
  }
  if (!exListRead) {
    log += u"ExList.txt: 読み込み失敗\r\n";
    out.result = RunResult::kAborted;
    return out;
  }

  const fs::path* folders[kFolderSlotCount] = {&plugin, &preset, &work};
  const char16_t* labels[kFolderSlotCount] = {u"Plugin:", u"Preset:", u"Work:"};
  for (int slot = 0; slot < kFolderSlotCount; ++slot) {
    std::error_code error;
    if (!fs::is_directory(*folders[slot], error)) {
      log += std::u16string(labels[slot]) + u" 読み込み失敗\r\n";
      out.result = RunResult::kAborted;
      return out;
    }
  }
  const Names pluginListing = Listing(out.plugin, u".vac");
  const Names presetListing = Listing(Contents(preset), u".kvo");
  const Names workListing = Listing(out.work, u".vac");
  out.presetsListed = presetListing.size();

  Names required = exList;
  std::vector<std::pair<std::u16string, Names>> presets;  // in name order
  std::size_t damaged = 0;
  for (const std::u16string& file : presetListing) {
    const fs::path path = preset / fs::path(file);
    Names needs;
    std::error_code error;
    if (fs::is_directory(Verbatim(path), error)) continue;
    if (ReadPreset(Bytes(path), ids, needs) != 0) {
      ++damaged;
      continue;
    }
    required.insert(needs.begin(), needs.end());
    presets.emplace_back(file, needs);
  }
  out.presetsRead = presets.size();
  // Files that are all no presets tell nothing about what is needed.
  if (damaged > 0 && presets.empty()) {
    log += u"Preset: 読み込み失敗\r\n";
    out.result = RunResult::kAborted;
    return out;
  }
  log += u"→ Plugin/Preset/Work = " + Num(pluginListing.size()) + u"/" + Num(presetListing.size()) +
         u"/" + Num(workListing.size()) + u"\r\n";

  if (mode == RunMode::kExecute) {
    MovePhase(u"■不要ファイルの移動(Plugin -> Work)\r\n", pluginListing, required, false,
              out.plugin, out.work, log);
    MovePhase(u"■必要ファイルの移動(Work -> Plugin)\r\n", workListing, required, true, out.work,
              out.plugin, log);
  }

  log += u"■kvoの状態\r\n";
  const Names pluginNow = Listing(out.plugin, u".vac");
  int complete = 0;
  int incomplete = 0;
  for (const auto& record : presets) {
    bool lacks = false;
    for (const std::u16string& needed : record.second)
      lacks = lacks || pluginNow.count(needed) == 0;
    ++(lacks ? incomplete : complete);
  }
  log += u"→ 不足無し/不足有り = " + Num(complete) + u"/" + Num(incomplete) + u"\r\n";
  for (const auto& record : presets) {
    bool heading = false;
    for (const std::u16string& needed : record.second) {
      if (pluginNow.count(needed) != 0) continue;
      if (!heading) log += record.first + u"\r\n";
      heading = true;
      log += u"  - " + needed + u"\r\n";
    }
  }
  log += u"\r\n";
  out.result = RunResult::kCompleted;
  return out;
}

}  // namespace kvo::test
