#include "gtest_support.h"

#include <string>
#include <utility>
#include <vector>

#include "lists/side_lists.h"
#include "fault_file_system.h"
#include "platform/platform.h"
#include "preset/catalogue.h"
#include "test_support.h"

namespace kvo::test {
namespace {

std::vector<std::u16string> ExNames(const std::string& text) {
  NameSet set;
  ParseExList(text.data(), text.size(), set);
  return std::vector<std::u16string>(set.begin(), set.end());
}

using Entries = std::vector<std::pair<std::int32_t, std::u16string>>;

Entries IdEntries(const std::string& text, std::initializer_list<std::int32_t> ids) {
  IdTable table;
  ParseIdList(text.data(), text.size(), table);
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
      {"NUL stops at its line", std::string("a.vac\r\nb\0.vac\r\nc.vac\r\n", 21), {u"a.vac"}},
      {"259 units fit", fitName + "\r\n", {std::u16string(kMaxPath - 1, u'n')}},
      {"260 units are skipped", longName + "\r\nok.vac\r\n", {u"ok.vac"}},
      {"empty text", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ExNames(c.text), c.names);
  }
}

TEST(ExList, AByteOrderMarkIsPartOfTheFirstName) {
  // How the mark's bytes decode depends on the code page; they are never dropped.
  const std::string text = "\xEF\xBB\xBFx.vac\r\ny.vac\r\n";
  NameSet set;
  ParseExList(text.data(), text.size(), set);
  EXPECT_EQ(set.Size(), 2u);
  EXPECT_FALSE(set.Contains(u"x.vac"));
  EXPECT_TRUE(set.Contains(u"y.vac"));
}

TEST(IdList, LineRules) {
  struct Case {
    const char* what;
    std::string text;
    std::initializer_list<std::int32_t> ids;
    Entries entries;
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
      {"byte-order mark gives id 0", "\xEF\xBB\xBF" "5,a.vac\r\n", {0}, {{0, u"a.vac"}}},
      {"NUL stops", std::string("1,a\r\n2,\0b\r\n3,c\r\n", 15), {1}, {{1, u"a"}}},
      {"name too long skipped", "1," + std::string(kMaxPath, 'n') + "\r\n2,b\r\n", {2}, {{2, u"b"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IdEntries(c.text, c.ids), c.entries);
  }
}

// The lists are found beside the executable, whatever the current folder is.
class SideFiles : public ::testing::Test {
 protected:
  void SetUp() override { fs_.SetExeDirectory(dir_.str()); }
  TempDir dir_;
  FaultyFileSystem fs_;
};

TEST_F(SideFiles, MissingListsLeaveTheContainersEmpty) {
  Catalogue catalogue(fs_);
  EXPECT_EQ(catalogue.exList.Size(), 0u);
  EXPECT_EQ(catalogue.idTable.Size(), 0u);
  EXPECT_TRUE(catalogue.exListRead);
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

  Catalogue catalogue(fs_);
  EXPECT_EQ(std::vector<std::u16string>(catalogue.exList.begin(), catalogue.exList.end()),
            (std::vector<std::u16string>{u"Base.vac", u"Skin.vac"}));
  EXPECT_EQ(catalogue.idTable.Size(), 2u);
}

TEST_F(SideFiles, AListWithoutUsableLinesGivesAnEmptyTable) {
  WriteText(dir_.path() / "IdList.txt", "no comma here\r\nnor here\r\n");
  IdTable table;
  LoadIdList(fs_, table);
  EXPECT_EQ(table.Size(), 0u);
}

}  // namespace
}  // namespace kvo::test
