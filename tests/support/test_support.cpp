#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kvo::test {

std::u16string U16(const std::string& utf8) {
  return fs::u8path(utf8).u16string();
}

std::string U8(const std::u16string& text) { return fs::path(text).u8string(); }

fs::path Verbatim(const fs::path& path) {
#ifdef _WIN32
  // fs::absolute asks GetFullPathNameW, which makes C:\x\CON.kvo \\.\CON: only
  // a relative path is given to it.
  if (path.native().compare(0, 4, L"\\\\?\\") == 0) return path;
  const fs::path whole = path.is_absolute() ? path : fs::absolute(path);
  const std::wstring full = whole.lexically_normal().make_preferred().wstring();
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
#else
  return path;
#endif
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() /
                         ("kvo-test-" + std::to_string(stamp % 1000000007) + "-" +
                          std::to_string(counter++));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Make everything writable again first: some tests lock folders down.
  const fs::path all = Verbatim(path_);
  for (auto it = fs::recursive_directory_iterator(all, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(all, ignored);
}

fs::path TempDir::Sub(const std::string& name) const {
  fs::path folder = path_ / fs::u8path(name);
  fs::create_directories(folder);
  return folder;
}

void WriteBytes(const fs::path& file, const std::vector<unsigned char>& bytes) {
  std::ofstream out(Verbatim(file), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.u8string());
}

void WriteText(const fs::path& file, const std::string& bytes) {
  WriteBytes(file, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(Verbatim(file), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> ListNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

const std::vector<std::u16string>& NamePieces() {
  static const std::vector<std::u16string> pieces = {
      // accented Latin, with expansions (ß, æ, œ) and Latin-1 signs
      u"é", u"É", u"è", u"à", u"À", u"ç", u"Ç", u"ñ", u"Ñ", u"ö", u"Ö", u"ü", u"Ü", u"å", u"Å",
      u"ø", u"Ø", u"ß", u"æ", u"Æ", u"œ", u"Œ", u"²", u"½",
      // Greek and Cyrillic
      u"α", u"Α", u"ω", u"Ω", u"ж", u"Ж", u"я", u"Я", u"ё", u"Ё",
      // hiragana, katakana (the voiced and small ones, the long vowel mark),
      // half-width katakana with a separate voicing mark, kanji
      u"あ", u"い", u"か", u"が", u"ゃ", u"っ", u"ア", u"イ", u"カ", u"ガ", u"ャ", u"ッ", u"ー",
      u"ｱ", u"ｶ", u"ｶﾞ", u"ｯ", u"ｰ", u"髪", u"服", u"靴", u"夏", u"々",
      // full-width letters, digits, punctuation and space; Japanese punctuation
      u"Ａ", u"ａ", u"Ｚ", u"ｚ", u"０", u"９", u"（", u"）", u"＿", u"－", u"．", u"！", u"　",
      u"・", u"「", u"」", u"、",
      // ASCII punctuation a file name may hold
      u" ", u"-", u"'", u"_", u".", u"(", u")", u"!", u"#", u"$", u"%", u"&", u"+", u",", u";",
      u"=", u"@", u"[", u"]", u"^", u"`", u"{", u"}", u"~",
  };
  return pieces;
}

}  // namespace kvo::test

