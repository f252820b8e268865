#include "gtest_support.h"

#include <string>
#include <utility>
#include <vector>

#include "list_reference.h"
#include "lists/list_text.h"
#include "lists/side_lists.h"
#include "fault_file_system.h"
#include "platform/platform.h"
#include "preset/catalogue.h"
#include "test_support.h"

namespace kvo::test {
namespace {

// `list` says whether the text was a list at all (it holds no NUL).
std::vector<std::u16string> ExNames(const std::string& text, bool list) {
  NameSet set;
  EXPECT_EQ(ParseExList(text.data(), text.size(), set), list);
  return std::vector<std::u16string>(set.begin(), set.end());
}

using Entries = std::vector<std::pair<std::int32_t, std::u16string>>;

Entries IdEntries(const std::string& text, std::initializer_list<std::int32_t> ids, bool list) {
  IdTable table;
  EXPECT_EQ(ParseIdList(text.data(), text.size(), table), list);
  table.Prepare();
  Entries out;
  std::size_t seen = 0;
  for (std::int32_t id : ids) {
    auto range = table.Lookup(id);
    for (auto it = range.first; it != range.second; ++it, ++seen) out.emplace_back(id, it->second);
  }
  // Every entry must be accounted for by the ids the case names.
  EXPECT_EQ(seen, table.Size());
  return out;
}

TEST(ExList, LineRules) {
  const std::string longName(kMaxPath, 'n');
  const std::string fitName(kMaxPath - 1, 'n');
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::u16string> names;
    bool list = true;  // false: the text holds a NUL and is no list
  };
  const Case cases[] = {
      {"CR LF lines", "a.vac\r\nb.vac\r\n", {u"a.vac", u"b.vac"}},
      {"bare LF keeps the last character", "a.vac\nb.vac\n", {u"a.vac", u"b.vac"}},
      {"last line without LF is read", "a.vac\r\nb.vac", {u"a.vac", u"b.vac"}},
      {"text without any LF is one line", "only.vac", {u"only.vac"}},
      {"empty line is the empty name", "\r\nx.vac\r\n", {u"", u"x.vac"}},
      {"first byte LF", "\nx.vac\r\n", {u"", u"x.vac"}},
      {"spaces are part of the name", " a.vac \r\n", {u" a.vac "}},
      {"case duplicates are one entry", "Face.vac\r\nFACE.VAC\r\n", {u"Face.vac"}},
      {"a NUL anywhere: no list", std::string("a.vac\r\nb\0.vac\r\nc.vac\r\n", 21), {}, false},
      {"a NUL as the last byte", std::string("a.vac\r\n\0", 8), {}, false},
      {"blank lines only", "\r\n\r\n", {u""}},
      {"259 units fit", fitName + "\r\n", {std::u16string(kMaxPath - 1, u'n')}},
      {"260 units are skipped", longName + "\r\nok.vac\r\n", {u"ok.vac"}},
      {"empty text", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ExNames(c.text, c.list), c.names);
  }
}

TEST(IdList, LineRules) {
  struct Case {
    const char* what;
    std::string text;
    std::initializer_list<std::int32_t> ids;
    Entries entries;
    bool list = true;
  };
  const Case cases[] = {
      {"id and name", "12,a.vac\r\n", {12}, {{12, u"a.vac"}}},
      {"third field ignored", "7,a.vac,comment,more\r\n", {7}, {{7, u"a.vac"}}},
      {"no comma skipped", "12 a.vac\r\n3,b.vac\r\n", {3}, {{3, u"b.vac"}}},
      {"heading line reads as id 0", "id,name\r\n", {0}, {{0, u"name"}}},
      {"empty line skipped", "\r\n4,d.vac\r\n", {4}, {{4, u"d.vac"}}},
      {"bare LF keeps the name whole", "5,e.vac\n6,f.vac\n", {5, 6}, {{5, u"e.vac"}, {6, u"f.vac"}}},
      {"last line without LF", "5,e.vac\r\n6,f.vac", {5, 6}, {{5, u"e.vac"}, {6, u"f.vac"}}},
      {"same id twice keeps file order", "9,b.vac\r\n9,a.vac\r\n", {9}, {{9, u"b.vac"}, {9, u"a.vac"}}},
      {"signs and white space", " \t-3,n.vac\r\n+4,p.vac\r\n", {-3, 4}, {{-3, u"n.vac"}, {4, u"p.vac"}}},
      {"clamped high", "99999999999,big.vac\r\n", {INT32_MAX}, {{INT32_MAX, u"big.vac"}}},
      {"clamped low", "-99999999999,small.vac\r\n", {INT32_MIN}, {{INT32_MIN, u"small.vac"}}},
      {"exact limits", "2147483647,a\r\n-2147483648,b\r\n", {INT32_MIN, INT32_MAX},
       {{INT32_MIN, u"b"}, {INT32_MAX, u"a"}}},
      {"one past the limit", "2147483648,a\r\n", {INT32_MAX}, {{INT32_MAX, u"a"}}},
      {"empty name", "8,\r\n", {8}, {{8, u""}}},
      {"spaces kept", "8, a.vac \r\n", {8}, {{8, u" a.vac "}}},
      {"a NUL: no list", std::string("1,a\r\n2,\0b\r\n3,c\r\n", 15), {}, {}, false},
      {"blank lines only", "\r\n\n", {}, {}},
      {"name too long skipped", "1," + std::string(kMaxPath, 'n') + "\r\n2,b\r\n", {2}, {{2, u"b"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IdEntries(c.text, c.ids, c.list), c.entries);
  }
}

// ---- encodings ----------------------------------------------------------------

constexpr platform::AnsiCodePage kJapanese{932, true};
constexpr platform::AnsiCodePage kWestern{1252, false};
constexpr platform::AnsiCodePage kUtf8Ansi{65001, false};

TEST(ListText, TheBytesDecideTheEncoding) {
  using E = ListEncoding;
  struct Case {
    const char* what;
    std::string bytes;
    E japanese, western, utf8;  // under 932, 1252 and 65001
    std::u16string units{};     // whenever not ANSI
  };
  const Case cases[] = {
      {"ASCII", "a.vac\r\n", E::kAnsi, E::kAnsi, E::kAnsi},
      {"empty", "", E::kAnsi, E::kAnsi, E::kAnsi},
      {"UTF-8 kanji", "\xE9\xAB\xAA.vac", E::kUtf8, E::kUtf8, E::kAnsi, u"\u9AEA.vac"},
      // Two-byte UTF-8 under a double-byte code page could be its own text,
      // unless a character of three or four bytes stands beside it.
      {"UTF-8 e acute", "caf\xC3\xA9", E::kAnsi, E::kUtf8, E::kAnsi, u"caf\u00E9"},
      {"UTF-8 kanji and an alpha", "\xE9\xAB\xAA\xE5\x9E\x8B\xCE\xB1.vac", E::kUtf8, E::kUtf8,
       E::kAnsi, u"\u9AEA\u578B\u03B1.vac"},
      {"UTF-8 times sign, then a kanji lines later", "\xC3\x97" "2.vac\r\n\xE9\xA2\xA8.vac",
       E::kUtf8, E::kUtf8, E::kAnsi, u"\u00D72.vac\r\n\u98A8.vac"},
      {"UTF-8 e acute and a character beyond the first plane", "\xC3\xA9\xF0\x9F\x98\x80",
       E::kUtf8, E::kUtf8, E::kAnsi, u"\u00E9\U0001F600"},
      {"UTF-8 at U+0800 exactly", "\xC3\xA9\xE0\xA0\x80", E::kUtf8, E::kUtf8, E::kAnsi,
       u"\u00E9\u0800"},
      {"UTF-8 at U+07FF, the last of two bytes", "\xDF\xBF", E::kAnsi, E::kUtf8, E::kAnsi,
       u"\u07FF"},
      {"Shift-JIS half-width kana that is UTF-8", "\xCD\xB1.vac", E::kAnsi, E::kUtf8, E::kAnsi,
       u"\u0371.vac"},
      {"Shift-JIS kanji", "\x94\xaf.vac", E::kAnsi, E::kAnsi, E::kAnsi},
      {"overlong UTF-8", "\xC0\xAF", E::kAnsi, E::kAnsi, E::kAnsi},
      {"surrogate in UTF-8", "\xED\xA0\x80", E::kAnsi, E::kAnsi, E::kAnsi},
      {"UTF-8 beyond U+10FFFF", "\xF4\x90\x80\x80", E::kAnsi, E::kAnsi, E::kAnsi},
      {"half a mark", "\xEF\xBB", E::kAnsi, E::kAnsi, E::kAnsi},
      {"UTF-8 mark, then two-byte UTF-8", "\xEF\xBB\xBF\xC3\xA9", E::kUtf8, E::kUtf8, E::kUtf8,
       u"\u00E9"},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", E::kUtf8, E::kUtf8, E::kUtf8, u""},
      {"UTF-16 LE, odd byte", std::string("\xFF\xFE" "a\0\xEA\x9A!", 7), E::kUtf16Le, E::kUtf16Le, E::kUtf16Le,
       u"a\u9AEA"},
      {"UTF-16 BE", std::string("\xFE\xFF\0a\x9A\xEA", 6), E::kUtf16Be, E::kUtf16Be, E::kUtf16Be, u"a\u9AEA"},
      {"UTF-16 mark alone", "\xFF\xFE", E::kUtf16Le, E::kUtf16Le, E::kUtf16Le, u""},
      {"NUL inside UTF-8", std::string("\xE9\xAB\xAA\0x", 5), E::kUtf8, E::kUtf8, E::kAnsi,
       std::u16string(u"\u9AEA\0x", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::pair<platform::AnsiCodePage, E> pages[] = {
        {kJapanese, c.japanese}, {kWestern, c.western}, {kUtf8Ansi, c.utf8}};
    for (const auto& [page, encoding] : pages) {
      SCOPED_TRACE(page.id);
      ListText text;
      DecodeListText(c.bytes.data(), c.bytes.size(), page, text);
      EXPECT_EQ(text.encoding, encoding);
      if (encoding == E::kAnsi) {
        EXPECT_EQ(std::string(text.bytes, text.size), c.bytes);
      } else {
        EXPECT_EQ(text.units, c.units);
      }
    }
  }
}

// Both loaders on the same lines saved every way an editor saves them.
// Natively the ANSI code page is the locale's character set (UTF-8 unless
// LC_ALL, LC_CTYPE or LANG name another); under Wine it is 932. Rows of
// bytes that only one code page reads as intended say which.
TEST(SideLists, EveryWayAListIsSaved) {
  const std::uint32_t codePage = ListCodePage();
  const std::vector<ListSave> unicode = {ListSave::kUtf8, ListSave::kUtf8Bom, ListSave::kUtf16Le,
                                         ListSave::kUtf16Be};
  struct Case {
    const char* what;
    std::vector<ListSave> saves;
    std::string text;  // UTF-8, or the bytes themselves for kAsIs
    std::vector<std::u16string> names;  // in file order
    std::uint32_t onlyUnder = 0;        // a code page, or 0 for any
    bool oddByte = false;               // one byte more after the UTF-16 text
    bool list = true;                   // false: a text holding a NUL, no list
  };
  const Case cases[] = {
      {"ASCII only", {kAllSaves, std::end(kAllSaves)}, "Base.vac\r\nface.vac\r\n",
       {u"Base.vac", u"face.vac"}},
      {"Japanese", unicode, "髪型.vac\r\nボディ.vac\r\n", {u"髪型.vac", u"ボディ.vac"}},
      {"Japanese in Shift-JIS", {ListSave::kAsIs}, "\x94\xaf\x8c\x5e.vac\r\n\x83\x7b\x83\x66\x83\x42.vac\r\n",
       {u"髪型.vac", u"ボディ.vac"}, 932},
      {"mixed, last line without LF", unicode, "Base.vac\r\n顔.vac\nﾍｱ01.vac\r\nﾒｲｸ.vac",
       {u"Base.vac", u"顔.vac", u"ﾍｱ01.vac", u"ﾒｲｸ.vac"}},
      {"mark alone", {ListSave::kUtf8Bom, ListSave::kUtf16Le, ListSave::kUtf16Be}, "", {}},
      {"NUL inside", {kAllSaves, std::end(kAllSaves)},
       std::string("a.vac\r\n髪\0.vac\r\nc.vac\r\n", 24), {}, 0, false, false},
      // Notepad's "Unicode" without its mark: every other byte is zero.
      {"UTF-16 LE without a mark", {ListSave::kAsIs}, std::string("a\0.\0v\0a\0c\0\r\0\n\0", 14),
       {}, 0, false, false},
      {"Japanese with ×, α and é", unicode, "衣装×2.vac\r\n髪型α.vac\r\nPokémon風.vac\r\n",
       {u"衣装×2.vac", u"髪型α.vac", u"Pokémon風.vac"}},
      {"odd byte count", {ListSave::kUtf16Le, ListSave::kUtf16Be}, "a.vac\r\n顔.vac",
       {u"a.vac", u"顔.vac"}, 0, true},
      {"259 units fit, 260 do not", unicode,
       std::string(258, 'n') + "顔\r\n" + std::string(259, 'm') + "顔\r\n",
       {std::u16string(258, u'n') + u"顔"}},
      // ﾍｱ in Shift-JIS is CD B1, which UTF-8 reads as U+0371.
      {"Shift-JIS half-width kana", {ListSave::kAsIs}, "\xCD\xB1.vac\r\n", {u"ﾍｱ.vac"}, 932},
      {"the same under UTF-8", {ListSave::kAsIs}, "\xCD\xB1.vac\r\n", {u"\u0371.vac"}, 65001},
      // UTF-8 é is C3 A9: two half-width kana in Shift-JIS.
      {"UTF-8 e acute under 932", {ListSave::kUtf8}, "café.vac\r\n", {u"cafﾃｩ.vac"}, 932},
      {"UTF-8 e acute under UTF-8", {ListSave::kUtf8}, "café.vac\r\n", {u"café.vac"}, 65001},
      {"e acute with a mark", {ListSave::kUtf8Bom, ListSave::kUtf16Le, ListSave::kUtf16Be},
       "café.vac\r\n", {u"café.vac"}},
  };
  for (const Case& c : cases) {
    if (c.onlyUnder != 0 && c.onlyUnder != codePage) continue;
    for (ListSave how : c.saves) {
      SCOPED_TRACE(std::string(c.what) + ", " + SaveName(how));
      std::string exText = SaveList(c.text, how);
      // The IdList.txt form: "7," before every line.
      std::string idLines;
      for (std::size_t i = 0; i < c.text.size(); ++i) {
        if (i == 0 || c.text[i - 1] == '\n') idLines += "7,";
        idLines += c.text[i];
      }
      std::string idText = SaveList(idLines, how);
      if (c.oddByte) exText += 'x', idText += 'x';

      NameSet expected;
      for (const auto& name : c.names) expected.Insert(name);
      NameSet exList;
      EXPECT_EQ(ParseExList(exText.data(), exText.size(), exList), c.list);
      EXPECT_EQ(std::vector<std::u16string>(exList.begin(), exList.end()),
                std::vector<std::u16string>(expected.begin(), expected.end()));
      IdTable table;
      EXPECT_EQ(ParseIdList(idText.data(), idText.size(), table), c.list);
      table.Prepare();
      std::vector<std::u16string> idNames;
      for (auto range = table.Lookup(7); range.first != range.second; ++range.first) {
        idNames.push_back(range.first->second);
      }
      EXPECT_EQ(idNames, c.names);
      EXPECT_EQ(table.Size(), c.names.size());
    }
  }
}

// The lists are found beside the executable, whatever the current folder is.
class SideFiles : public ::testing::Test {
 protected:
  void SetUp() override { fs_.SetExeFolder(dir_.str()); }
  TempDir dir_;
  FaultyFileSystem fs_;
};

TEST_F(SideFiles, MissingListsLeaveTheContainersEmpty) {
  Catalogue catalogue;
  EXPECT_EQ(catalogue.LoadLists(fs_), Catalogue::Load::kIdListUnreadable);
  EXPECT_EQ(catalogue.exList.Size(), 0u);
  EXPECT_EQ(catalogue.idTable.Size(), 0u);
  EXPECT_EQ(LoadExList(fs_, catalogue.exList), ListLoad::kMissing);
  std::vector<char> text;
  EXPECT_EQ(ReadSideFile(fs_, u"IdList.txt", text), platform::FileStatus::kMissing);
}

TEST_F(SideFiles, BothListsAreLoadedFromTheExecutablesFolder) {
  WriteText(dir_.path() / "ExList.txt", "Base.vac\r\nbase.VAC\r\nSkin.vac");
  WriteText(dir_.path() / "IdList.txt", "100,Hair.vac\r\nno comma\r\n100,hair2.vac\n");
  std::vector<char> text;
  ASSERT_EQ(ReadSideFile(fs_, u"ExList.txt", text), platform::FileStatus::kRead);
  EXPECT_EQ(text.back(), '\0');
  EXPECT_EQ(text.size(), 29u);

  Catalogue catalogue;
  EXPECT_EQ(catalogue.LoadLists(fs_), Catalogue::Load::kLoaded);
  EXPECT_EQ(std::vector<std::u16string>(catalogue.exList.begin(), catalogue.exList.end()),
            (std::vector<std::u16string>{u"Base.vac", u"Skin.vac"}));
  EXPECT_EQ(catalogue.idTable.Size(), 2u);
}

TEST_F(SideFiles, AListWithoutUsableLinesGivesAnEmptyTable) {
  WriteText(dir_.path() / "IdList.txt", "no comma here\r\nnor here\r\n");
  IdTable table;
  EXPECT_EQ(LoadIdList(fs_, table), ListLoad::kLoaded);
  EXPECT_EQ(table.Size(), 0u);
}

}  // namespace
}  // namespace kvo::test
