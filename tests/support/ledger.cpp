#include "ledger.h"

#include "gtest_support.h"

#include <vector>

namespace kvo::test {

std::u16string RunLog(const std::string& counts, const std::string& moves,
                      const std::string& report, const std::string& outFailed,
                      const std::string& inFailed) {
  std::string log = "■準備\r\n→ Plugin/Preset/Work = " + counts + "\r\n";
  if (!moves.empty()) {
    const std::size_t space = moves.find(' ');
    log += "■不要ファイルの移動(Plugin -> Work)\r\n→ 成功/失敗 = " + moves.substr(0, space) +
           "\r\n" + outFailed + "■必要ファイルの移動(Work -> Plugin)\r\n→ 成功/失敗 = " +
           moves.substr(space + 1) + "\r\n" + inFailed;
  }
  return U16(log + "■kvoの状態\r\n" + report + "\r\n");
}

std::u16string AbortedLog(const std::string& line) {
  const bool label = !line.empty() && line.back() == ':';
  return U16("■準備\r\n" + line + (label ? " " : ": ") + "読み込み失敗\r\n");
}

std::string Failed(const std::string& name, const std::string& reason) {
  return "  - " + name + " (" + reason + ")\r\n";
}

const std::string kExists = "移動先に同じ名前のファイルがあります";
const std::string kInUse = "ほかのプログラムが使用中です";
const std::string kDenied = "アクセスが拒否されました";
const std::string kGone = "ファイルが見つかりません";
const std::string kFull = "移動先の空き容量が足りません";
const std::string kLink = "リンクのためドライブをまたいで移動しません";
const std::string kReadOnly = "読み取り専用のためドライブをまたいで移動しません";
const std::string kFolder = "フォルダのためドライブをまたいで移動しません";
const std::string kTooLong = "パスが長すぎます";
const std::string kCloud = "クラウドのファイルを取得できません";
const std::string kReplaced = "移動中にファイルが置き換えられました";

Ledger::Ledger(RunWorkspace& ws) {
  folders_ = {{"Plugin", ws.Folder(kPlugin)}, {"Work", ws.Folder(kWork)}};
}

void Ledger::Put(int slot, const std::string& name, std::size_t size, bool folder) {
  std::string bytes = "archive " + std::to_string(archives_.size()) + ": " + name;
  if (bytes.size() < size) bytes.resize(size, static_cast<char>('a' + archives_.size() % 26));
  const fs::path path = FolderOf(slot) / fs::u8path(name);
  if (folder) {
    fs::create_directory(path);
    WriteText(path / "inside", bytes);
  } else {
    WriteText(path, bytes);
  }
  archives_[Label(slot) + "/" + name] = bytes;
}

void Ledger::PutAll(std::initializer_list<std::pair<int, const char*>> archives) {
  for (const auto& [slot, name] : archives) Put(slot, name);
}

void Ledger::PutEmpty(int slot, const std::string& name) {
  WriteText(FolderOf(slot) / fs::u8path(name), "");
  archives_[Label(slot) + "/" + name] = "";
}

#ifndef _WIN32
void Ledger::PutLink(int slot, const std::string& name, const fs::path& targetFolder) {
  const std::string bytes = "linked " + std::to_string(archives_.size()) + ": " + name;
  const fs::path target = targetFolder / fs::u8path(name + ".target");
  WriteText(target, bytes);
  fs::create_symlink(target, FolderOf(slot) / fs::u8path(name));
  archives_[Label(slot) + "/" + name] = bytes;
}
#endif

void Ledger::Watch(const std::string& label, const fs::path& folder) { folders_[label] = folder; }

void Ledger::Move(int slot, const fs::path& folder) { folders_[Label(slot)] = folder; }

Where Ledger::Now() const {
  std::map<std::string, std::vector<std::string>> byBytes;
  for (const auto& [label, folder] : folders_) {
    if (!fs::exists(folder)) continue;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string place = label + "/" + entry.path().filename().u8string();
      const bool dir = fs::is_directory(Verbatim(entry.path()));
      byBytes[ReadText(dir ? entry.path() / "inside" : entry.path())].push_back(place);
    }
  }
  Where out;
  for (const auto& [origin, bytes] : archives_) {
    auto it = byBytes.find(bytes);
    if (it == byBytes.end()) {
      out[origin] = "(lost)";
      continue;
    }
    out[origin] = it->second.size() == 1 ? it->second[0]
                                        : "(" + std::to_string(it->second.size()) + " copies)";
    byBytes.erase(it);
  }
  for (const auto& [bytes, places] : byBytes) {
    for (const auto& place : places) {
      ADD_FAILURE() << "unexpected entry " << place << " (" << bytes.size() << " bytes)";
    }
  }
  return out;
}

Where Ledger::UnmovedBut(const Where& moved) const {
  Where out;
  for (const auto& [origin, bytes] : archives_) out[origin] = origin;
  for (const auto& [from, to] : moved) out[from] = to;
  return out;
}

std::string Ledger::Label(int slot) const { return slot == kPlugin ? "Plugin" : "Work"; }

fs::path Ledger::FolderOf(int slot) const { return folders_.at(Label(slot)); }

void LayLists(RunWorkspace& ws) {
  ws.IdList("1,face.vac\r\n2,hair.vac\r\n3,shoe.vac\r\n");
  ws.ExList("base.vac\r\n");
  ws.Preset("a.kvo", {1, 2});
}

fs::path FolderOfLength(const fs::path& root, std::size_t units) {
  fs::path path = root;
  std::size_t length = S(root).size();
  while (length + 1 < units) {
    const std::size_t left = units - length - 1;  // units after the next separator
    // Each component at most 100 units, and never leave a remainder of 0.
    std::size_t component = left > 100 ? (left - 100 >= 2 ? 100 : 50) : left;
    path /= std::string(component, 'd');
    length += 1 + component;
  }
  fs::create_directories(path);
  EXPECT_EQ(S(path).size(), units);
  return path;
}

}  // namespace kvo::test
