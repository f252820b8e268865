// POSIX text and names: the name order's case folding, and list text in
// the locale's character set.
#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace kvo {
namespace platform {
namespace {

// Case folding for the name order: ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic and full-width Latin letters.
inline char16_t Fold(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x100 && c <= 0x17F) {
    const bool evenUpper = (c <= 0x137 && c != 0x130 && c != 0x131) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (evenUpper && (c % 2 == 0)) return static_cast<char16_t>(c + 1);
    if (oddUpper && (c % 2 == 1)) return static_cast<char16_t>(c + 1);
    return c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 0x20);
  return c;
}

// Names the locale's character set: the part after '.' of LC_ALL, LC_CTYPE
// or LANG (the first one set); UTF-8 when none names one.
std::string LocaleCharset() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == 0) continue;
    std::string locale(value);
    std::size_t dot = locale.find('.');
    if (dot == std::string::npos) return "UTF-8";
    std::string charset = locale.substr(dot + 1);
    std::size_t at = charset.find('@');
    if (at != std::string::npos) charset.resize(at);
    return charset.empty() ? "UTF-8" : charset;
  }
  return "UTF-8";
}

constexpr std::uint32_t kUtf8CodePage = 65001;

// The Windows code page a character set stands for, as far as the lists
// need it. Names are compared without letter case, '-' or '_'.
AnsiCodePage CodePageOfCharset(const std::string& charset) {
  std::string key;
  for (char c : charset) {
    if (c != '-' && c != '_') key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  struct Known {
    const char* key;
    std::uint32_t id;
    bool doubleByte;
  };
  static const Known kKnown[] = {
      {"UTF8", kUtf8CodePage, false}, {"SJIS", 932, true},     {"SHIFTJIS", 932, true},
      {"CP932", 932, true},           {"MS932", 932, true},    {"WINDOWS31J", 932, true},
      {"EUCJP", 20932, true},         {"GBK", 936, true},      {"CP936", 936, true},
      {"GB2312", 936, true},          {"EUCCN", 936, true},    {"EUCKR", 949, true},
      {"CP949", 949, true},           {"UHC", 949, true},      {"BIG5", 950, true},
      {"CP950", 950, true},           {"BIG5HKSCS", 950, true}, {"GB18030", 54936, false},
  };
  for (const Known& known : kKnown) {
    if (key == known.key) return {known.id, known.doubleByte};
  }
  // CP1252, WINDOWS-1252 and the like: single-byte code pages by number.
  for (const char* prefix : {"CP", "WINDOWS"}) {
    const std::size_t length = std::strlen(prefix);
    if (key.compare(0, length, prefix) == 0 && key.size() > length &&
        key.find_first_not_of("0123456789", length) == std::string::npos &&
        key.size() - length < 6) {
      return {static_cast<std::uint32_t>(std::stoul(key.substr(length))), false};
    }
  }
  return {0, false};
}

// Converts with iconv, one replacement character per byte it cannot decode.
void IconvToUtf16(iconv_t cd, const char* bytes, std::size_t length, std::u16string& out) {
  out.clear();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char16_t units[512];
  char* in = const_cast<char*>(bytes);
  std::size_t inLeft = length;
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(units);
    std::size_t outLeft = sizeof units;
    std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(units, (sizeof units - outLeft) / sizeof(char16_t));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // Invalid or truncated sequence: replace one byte and go on.
      out += u'\uFFFD';
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

}  // namespace

int CompareNames(const char16_t* a, const char16_t* b) {
  // Names compared in a set mostly share a long prefix: equal units need no
  // folding (and only equal units can both be the terminator).
  for (;; ++a, ++b) {
    const char16_t ca = *a;
    const char16_t cb = *b;
    if (ca == cb) {
      if (ca == 0) return 0;
      continue;
    }
    const char16_t x = Fold(ca);
    const char16_t y = Fold(cb);
    if (x != y) return x < y ? -1 : 1;
  }
}

// Folding as it compares is as cheap as comparing keys would be: no key.
void MakeNameKey(const char16_t*, std::size_t, std::string& key) { key.clear(); }

int CompareKeyed(std::string_view, const std::u16string& a, std::string_view,
                 const std::u16string& b) {
  return CompareNames(a.c_str(), b.c_str());
}

namespace {

// The ANSI code page of this process: the locale's character set, taken once.
// A set iconv does not know is read as UTF-8.
struct Ansi {
  AnsiCodePage page;
  iconv_t cd = reinterpret_cast<iconv_t>(-1);  // none for UTF-8
};

const Ansi& TheAnsi() {
  static const Ansi ansi = [] {
    Ansi a;
    const std::string charset = LocaleCharset();
    a.page = CodePageOfCharset(charset);
    if (a.page.id != kUtf8CodePage) {
      a.cd = iconv_open("UTF-16LE", charset.c_str());
      if (a.cd == reinterpret_cast<iconv_t>(-1)) a.page = {kUtf8CodePage, false};
    }
    return a;
  }();
  return ansi;
}

}  // namespace

bool AnsiToUtf16(const char* bytes, std::size_t length, std::u16string& out) {
  const Ansi& ansi = TheAnsi();
  if (ansi.page.id == kUtf8CodePage) {
    Utf8ToUtf16(reinterpret_cast<const unsigned char*>(bytes), length, out);
  } else {
    IconvToUtf16(ansi.cd, bytes, length, out);
  }
  return out.size() + 1 <= kMaxPath;
}

AnsiCodePage AnsiCodePageInfo() { return TheAnsi().page; }

bool Utf8ToUtf16(const char* bytes, std::size_t length, bool strict, std::u16string& out) {
  return DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes), length, strict, out);
}

}  // namespace platform
}  // namespace kvo
