#include "gtest_support.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "lists/id_table.h"
#include "lists/name_set.h"
#include "lists/preset_list.h"
#include "test_support.h"

namespace kvo {
namespace {

std::vector<std::u16string> Names(const NameSet& set) {
  return std::vector<std::u16string>(set.begin(), set.end());
}

std::vector<std::u16string> Lookup(const IdTable& table, std::int32_t id) {
  std::vector<std::u16string> out;
  auto range = table.Lookup(id);
  for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
  return out;
}

TEST(NameSet, KeepsTheFirstSpellingAndOrdersWithoutRegardToCase) {
  NameSet set;
  for (const char16_t* name : {u"gamma.vac", u"A.vac", u"beta.vac", u"a.VAC", u"Alpha.vac",
                               u"", u"GAMMA.VAC"}) {
    set.Insert(name);
  }
  EXPECT_EQ(set.Size(), 5u);
  EXPECT_EQ(Names(set),
            (std::vector<std::u16string>{u"", u"A.vac", u"Alpha.vac", u"beta.vac", u"gamma.vac"}));
  for (const char16_t* probe : {u"A.VAC", u"a.vac", u"", u"BETA.vac"}) {
    EXPECT_TRUE(set.Contains(probe)) << std::string(probe, probe + 1);
  }
  EXPECT_FALSE(set.Contains(u"A.va"));
  EXPECT_FALSE(set.Contains(u"delta.vac"));
}

TEST(NameSet, CopiesAreDeepAndSelfCopyChangesNothing) {
  NameSet original;
  original.Insert(u"Face.vac");
  original.Insert(u"body.vac");
  NameSet copy = original;
  original.Insert(u"extra.vac");
  original.Clear();
  EXPECT_EQ(Names(copy), (std::vector<std::u16string>{u"body.vac", u"Face.vac"}));

  NameSet& alias = copy;
  copy = alias;
  EXPECT_EQ(Names(copy), (std::vector<std::u16string>{u"body.vac", u"Face.vac"}));
}

// Sets of thousands of names in every insertion order, against an ordered
// model of the same rules: first spelling kept, case-insensitive order.
TEST(NameSet, LargeSetsMatchAnOrderedModelInAnyInsertionOrder) {
  std::vector<std::u16string> names;
  for (int i = 0; i < 3000; ++i) {
    std::string text = "n" + std::to_string(i * 7919 % 3001) + (i % 3 ? ".vac" : ".VAC");
    names.emplace_back(text.begin(), text.end());
    if (i % 5 == 0) {  // the same name in other letter case, inserted later
      std::string upper = text;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      names.emplace_back(upper.begin(), upper.end());
    }
  }
  struct Order {
    const char* what;
    void (*arrange)(std::vector<std::u16string>&);
  };
  // Equivalent names stay in the order they were made (std::sort on the
  // positions: stable_sort's buffer would bypass the tests' allocator).
  static auto sortStably = [](std::vector<std::u16string>& v, bool descending) {
    std::vector<std::size_t> order(v.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      if (NameLess()(v[a], v[b])) return !descending;
      if (NameLess()(v[b], v[a])) return descending;
      return a < b;
    });
    std::vector<std::u16string> sorted;
    for (std::size_t i : order) sorted.push_back(v[i]);
    v.swap(sorted);
  };
  const Order orders[] = {
      {"as made", [](std::vector<std::u16string>&) {}},
      {"ascending", [](std::vector<std::u16string>& v) { sortStably(v, false); }},
      {"descending", [](std::vector<std::u16string>& v) { sortStably(v, true); }},
      {"shuffled", [](std::vector<std::u16string>& v) { std::shuffle(v.begin(), v.end(), std::mt19937(5)); }},
  };
  for (const Order& order : orders) {
    std::vector<std::u16string> input = names;
    order.arrange(input);
    NameSet set;
    std::set<std::u16string, NameLess> model;
    for (std::size_t i = 0; i < input.size(); ++i) {
      const bool added = i % 2 ? set.Insert(input[i]) : set.Insert(std::u16string(input[i]));
      ASSERT_EQ(added, model.insert(input[i]).second) << order.what << " at " << i;
    }
    EXPECT_EQ(Names(set), std::vector<std::u16string>(model.begin(), model.end())) << order.what;
    EXPECT_EQ(set.Size(), model.size()) << order.what;
    for (const std::u16string& name : names) {
      EXPECT_TRUE(set.Contains(name)) << order.what;
      EXPECT_FALSE(set.Contains(name + u"x")) << order.what;
    }
    EXPECT_FALSE(set.Contains(u""));
    NameSet copy;
    copy = set;
    set.Clear();
    EXPECT_TRUE(Names(set).empty());
    EXPECT_EQ(Names(copy), std::vector<std::u16string>(model.begin(), model.end())) << order.what;
  }
}

// Adding in any order, and looking up between the additions, keeps equal ids
// in the order they were added.
TEST(IdTable, AnyOrderOfAddingAndLookingUpMatchesAMultimap) {
  IdTable table;
  std::multimap<std::int32_t, std::u16string> model;
  std::mt19937 random(11);
  for (int i = 0; i < 5000; ++i) {
    const std::int32_t id = static_cast<std::int32_t>(random() % 700) - 100;
    std::string text = "e" + std::to_string(i);
    table.Add(id, std::u16string(text.begin(), text.end()));
    model.emplace(id, std::u16string(text.begin(), text.end()));
    if (i % 997 == 0 || i == 4999) {
      table.Prepare();
      for (std::int32_t probe = -101; probe <= 601; ++probe) {
        std::vector<std::u16string> expected;
        auto range = model.equal_range(probe);
        for (auto it = range.first; it != range.second; ++it) expected.push_back(it->second);
        ASSERT_EQ(Lookup(table, probe), expected) << "id " << probe << " after " << i;
      }
    }
  }
  EXPECT_EQ(table.Size(), model.size());
}

// Ranks put the table's names in the name order as numbers; any other text
// falls between (or on) them in the same order.
TEST(IdTable, RanksFollowTheNameOrder) {
  IdTable table;
  std::vector<std::u16string> names;
  std::mt19937 random(3);
  for (int i = 0; i < 400; ++i) {
    std::string text = "n" + std::to_string(random() % 250) + (i % 4 ? ".vac" : ".VAC");
    names.emplace_back(text.begin(), text.end());
    table.Add(static_cast<std::int32_t>(random() % 300), names.back());
  }
  table.Prepare();
  table.PrepareRanks();
  ASSERT_TRUE(table.Ranked());
  for (std::size_t a = 0; a < table.Size(); ++a) {
    for (std::size_t b = 0; b < table.Size(); b += 7) {
      const int c = platform::CompareNames(table.NameAt(a).c_str(), table.NameAt(b).c_str());
      const std::uint32_t ra = table.RankAt(a);
      const std::uint32_t rb = table.RankAt(b);
      ASSERT_EQ(c < 0, ra < rb) << a << " " << b;
      ASSERT_EQ(c == 0, ra == rb) << a << " " << b;
    }
  }
  for (const char16_t* text : {u"", u"m.vac", u"N100.VAC", u"n100.vac0", u"zzz", u"n5"}) {
    const std::uint32_t r = table.RankOf(text);
    for (std::size_t b = 0; b < table.Size(); ++b) {
      const int c = platform::CompareNames(text, table.NameAt(b).c_str());
      ASSERT_EQ(c < 0, r < table.RankAt(b)) << std::string(text, text + 1) << " " << b;
      ASSERT_EQ(c == 0, r == table.RankAt(b)) << std::string(text, text + 1) << " " << b;
    }
  }
  table.Add(1, u"later.vac");  // adding drops the ranks
  EXPECT_FALSE(table.Ranked());
}

TEST(IdTable, EqualIdsKeepInsertionOrderAndNothingIsMerged) {
  IdTable table;
  table.Add(5, u"x.vac");
  table.Add(3, u"y.vac");
  table.Add(5, u"z.vac");
  table.Add(5, u"x.vac");
  table.Add(-1, u"neg.vac");
  table.Add(INT32_MIN, u"min.vac");
  table.Add(INT32_MAX, u"max.vac");
  table.Prepare();
  EXPECT_EQ(table.Size(), 7u);
  EXPECT_EQ(Lookup(table, 5), (std::vector<std::u16string>{u"x.vac", u"z.vac", u"x.vac"}));
  EXPECT_TRUE(Lookup(table, 4).empty());
  EXPECT_EQ(Lookup(table, -1), (std::vector<std::u16string>{u"neg.vac"}));
  EXPECT_TRUE(Lookup(table, 0).empty());
  EXPECT_EQ(Lookup(table, INT32_MIN), (std::vector<std::u16string>{u"min.vac"}));
  EXPECT_EQ(Lookup(table, INT32_MAX), (std::vector<std::u16string>{u"max.vac"}));
}

// A failing comparison of log text must be readable: UTF-8, escaped breaks.
TEST(TestSupport, TextPrintsAsUtf8WithEscapedBreaks) {
  EXPECT_EQ(::testing::PrintToString(std::u16string(u"■準備\r\n\"a\"\xD800")),
            "u\"■準備\\r\\n\\\"a\\\"\xEF\xBF\xBD\"");
}

TEST(PresetList, RecordsAreIndependentCopiesInAppendOrder) {
  PresetList list;
  {
    PresetRecord record;
    record.fileName = u"b.kvo";
    record.needs.Insert(u"one.vac");
    list.Append(record);
    record.fileName = u"a.kvo";
    record.needs.Insert(u"two.vac");
    list.Append(record);
    record.needs.Clear();
  }
  ASSERT_EQ(list.Size(), 2u);
  auto it = list.begin();
  EXPECT_EQ(it->fileName, u"b.kvo");
  EXPECT_EQ(Names(it->needs), (std::vector<std::u16string>{u"one.vac"}));
  ++it;
  EXPECT_EQ(it->fileName, u"a.kvo");
  EXPECT_EQ(Names(it->needs), (std::vector<std::u16string>{u"one.vac", u"two.vac"}));
}

}  // namespace
}  // namespace kvo
