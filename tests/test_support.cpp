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
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

fs::path TempDir::Sub(const std::string& name) const {
  fs::path folder = path_ / fs::u8path(name);
  fs::create_directories(folder);
  return folder;
}

void WriteBytes(const fs::path& file, const std::vector<unsigned char>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.u8string());
}

void WriteText(const fs::path& file, const std::string& bytes) {
  WriteBytes(file, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
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

}  // namespace kvo::test

namespace testing::internal {

void UniversalPrinter<std::u16string>::Print(const std::u16string& value, std::ostream* os) {
  // Converted here rather than through std::filesystem, which may throw on a
  // lone surrogate: a printer must print whatever it is given.
  std::string utf8;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char32_t unit = value[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < value.size() && value[i + 1] >= 0xDC00 &&
        value[i + 1] < 0xE000) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (value[++i] - 0xDC00);
    } else if (unit >= 0xD800 && unit < 0xE000) {
      unit = 0xFFFD;
    }
    if (unit < 0x80) {
      utf8 += static_cast<char>(unit);
    } else if (unit < 0x800) {
      utf8 += static_cast<char>(0xC0 | (unit >> 6));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (unit >> 12));
      utf8 += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (unit >> 18));
      utf8 += static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  *os << "u\"";
  for (char c : utf8) {
    const unsigned char byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\r': *os << "\\r"; break;
      case '\n': *os << "\\n"; break;
      case '\t': *os << "\\t"; break;
      case '"': *os << "\\\""; break;
      case '\\': *os << "\\\\"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          static const char kHex[] = "0123456789ABCDEF";
          *os << "\\x" << kHex[byte >> 4] << kHex[byte & 15];
        } else {
          *os << c;
        }
    }
  }
  *os << '"';
}

}  // namespace testing::internal

