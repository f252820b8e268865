// Small file-system helpers shared by the tests, the fuzz checks and the
// benchmarks (native and under Wine).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kvo::test {

namespace fs = std::filesystem;

std::u16string U16(const std::string& utf8);
std::string U8(const std::u16string& text);
inline fs::path P(const std::u16string& path) { return fs::path(path); }
inline std::u16string S(const fs::path& path) { return path.u16string(); }

// A fresh, empty folder removed again when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::u16string str() const { return path_.u16string(); }
  // Creates (if needed) and returns the sub-folder `name`.
  fs::path Sub(const std::string& name) const;

 private:
  fs::path path_;
};

// `path` as the system takes it as it stands: on Windows absolute, with the
// prefix \\?\, so that a file named CON.kvo or nul.vac is that file and not
// a device; elsewhere `path` itself. The helpers below use it.
fs::path Verbatim(const fs::path& path);

void WriteBytes(const fs::path& file, const std::vector<unsigned char>& bytes);
void WriteText(const fs::path& file, const std::string& bytes);
std::string ReadText(const fs::path& file);
// Bare names in a folder, sorted by byte value (UTF-8).
std::vector<std::string> ListNames(const fs::path& folder);

// Pieces of names beyond ASCII letters: accented Latin, Greek and Cyrillic
// in both cases, Japanese kana of both widths and kanji, full-width letters,
// digits and punctuation, ASCII punctuation. Each may stand anywhere in a
// file name on every system the tests run on (none is a separator or
// wildcard, none changes under the file systems' case rules in a way the
// name order does not); some are two units long.
const std::vector<std::u16string>& NamePieces();

}  // namespace kvo::test

