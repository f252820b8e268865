#include "platform/utf8.h"

namespace kvo {
namespace platform {
namespace {

// Appends the UTF-8 bytes of `c` through `put`.
template <typename Put>
void AppendUtf8(Put put, char32_t c) {
  if (c < 0x80) {
    put(static_cast<char>(c));
  } else if (c < 0x800) {
    put(static_cast<char>(0xC0 | (c >> 6)));
    put(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    put(static_cast<char>(0xE0 | (c >> 12)));
    put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    put(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    put(static_cast<char>(0xF0 | (c >> 18)));
    put(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    put(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Encodes `text` character by character through `put`.
template <typename Put>
void EncodeUtf8(const std::u16string& text, Put put) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(put, c);
  }
}

}  // namespace

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  EncodeUtf8(text, [&out](char byte) { out += byte; });
  return out;
}

bool Utf16ToUtf8(const std::u16string& text, std::size_t size, char* buffer) {
  std::size_t used = 0;
  EncodeUtf8(text, [&](char byte) {
    if (used < size) buffer[used] = byte;
    ++used;
  });
  if (used >= size) return false;
  buffer[used] = 0;
  return true;
}

bool DecodeUtf8(const unsigned char* s, std::size_t n, bool strict, std::u16string& out) {
  // Names are mostly ASCII: copy the leading ASCII run in one go.
  std::size_t i = 0;
  while (i < n && s[i] < 0x80) ++i;
  out.resize(i);
  for (std::size_t k = 0; k < i; ++k) out[k] = static_cast<char16_t>(s[k]);
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t c = 0;
    char32_t min = 0;
    if ((b & 0xE0) == 0xC0) { extra = 1; c = b & 0x1F; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { extra = 2; c = b & 0x0F; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { extra = 3; c = b & 0x07; min = 0x10000; }
    bool ok = extra > 0 && i + static_cast<std::size_t>(extra) < n;
    for (int k = 1; ok && k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) ok = false; else c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      if (strict) {
        out.clear();
        return false;
      }
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

void Utf8ToUtf16(const unsigned char* s, std::size_t n, std::u16string& out) {
  DecodeUtf8(s, n, false, out);
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  Utf8ToUtf16(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out);
  return out;
}

}  // namespace platform
}  // namespace kvo
