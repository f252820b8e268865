// The side lists' encodings as the tests see them: a text saved the ways
// editors save it, and a plain reading of a list file's bytes that decides
// its encoding without the product's decoder (for the fuzz checks and the
// model of a whole run).
#pragma once

#include <string>

#include "platform/platform.h"

namespace kvo::test {

enum class ListSave {
  kAsIs,     // the bytes unchanged: ASCII, or the ANSI code page's own bytes
  kUtf8,     // no mark (the text is UTF-8 already)
  kUtf8Bom,  // EF BB BF first
  kUtf16Le,  // FF FE, then little-endian units
  kUtf16Be,  // FE FF, then big-endian units
};
constexpr ListSave kAllSaves[] = {ListSave::kAsIs, ListSave::kUtf8, ListSave::kUtf8Bom,
                                  ListSave::kUtf16Le, ListSave::kUtf16Be};
const char* SaveName(ListSave how);

// `text` (well-formed UTF-8, NUL bytes allowed) as a list file saved `how`.
std::string SaveList(const std::string& text, ListSave how);

// A list file's text as a plain reading gives it: `ansi` true with the bytes
// (to be converted name by name in the ANSI code page), or false with the
// UTF-16 units, the mark dropped.
struct ReferenceText {
  bool ansi = true;
  std::string bytes;
  std::u16string units;
};
ReferenceText ReferenceDecode(const std::string& bytes, const platform::AnsiCodePage& ansi);

}  // namespace kvo::test
