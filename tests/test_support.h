// Small file-system helpers shared by the tests (native and under Wine).
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

void WriteBytes(const fs::path& file, const std::vector<unsigned char>& bytes);
void WriteText(const fs::path& file, const std::string& bytes);
std::string ReadText(const fs::path& file);
// Bare names in a folder, sorted by byte value (UTF-8).
std::vector<std::string> ListNames(const fs::path& folder);

}  // namespace kvo::test

namespace testing::internal {

// Failures show UTF-16 text (the log, names) as readable UTF-8 in quotes,
// with line breaks and other control characters escaped, instead of gtest's
// \x25A0-style escapes of every unit.
template <>
class UniversalPrinter<std::u16string> {
 public:
  static void Print(const std::u16string& value, std::ostream* os);
};

}  // namespace testing::internal

