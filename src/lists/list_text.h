// How the bytes of a side list become text. Notepad saves in UTF-8 (with or
// without a byte-order mark) or UTF-16, older editors in the ANSI code page;
// the bytes themselves say which, once per read, before any line is cut.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace kvo {

enum class ListEncoding {
  kAnsi,      // the ANSI code page; names are converted one by one
  kUtf8,      // with or without the mark EF BB BF
  kUtf16Le,   // the mark FF FE
  kUtf16Be,   // the mark FE FF
};

// A list's text once its encoding is decided: the bytes themselves for
// kAnsi, otherwise the whole text as UTF-16 units, the mark dropped.
struct ListText {
  ListEncoding encoding = ListEncoding::kAnsi;
  const char* bytes = nullptr;  // kAnsi: `size` bytes, borrowed from the caller
  std::size_t size = 0;
  std::u16string units;         // the other encodings
};

// Decides the encoding of a list file's `size` bytes under the ANSI code page
// `ansi` and decodes them:
//   1. EF BB BF: UTF-8, the three bytes dropped.
//   2. FF FE: UTF-16 LE, FE FF: UTF-16 BE, the two bytes dropped; an odd
//      last byte is ignored.
//   3. No mark, at least one byte of 0x80 or more, the whole file
//      well-formed UTF-8 and the ANSI code page not UTF-8 itself: UTF-8;
//      but under a double-byte code page not when every character beyond
//      ASCII falls in U+0080..U+07FF. Shift-JIS half-width kana (0xA1..0xDF,
//      one byte each) pair up into exactly such two-byte sequences, and a
//      short list of kana names would otherwise pass for UTF-8. One
//      character at U+0800 or above (kana, kanji: three bytes in UTF-8)
//      is rare in Shift-JIS bytes that are well-formed UTF-8, so Japanese
//      names with a ×, α or é among them are read as the UTF-8 they are.
//   4. Anything else, plain ASCII included: the ANSI code page.
void DecodeListText(const char* bytes, std::size_t size, const platform::AnsiCodePage& ansi,
                    ListText& out);

}  // namespace kvo
