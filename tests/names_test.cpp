#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lists/name_set.h"

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

TEST(IdTable, EqualIdsKeepInsertionOrderAndNothingIsMerged) {
  IdTable table;
  table.Add(5, u"x.vac");
  table.Add(3, u"y.vac");
  table.Add(5, u"z.vac");
  table.Add(5, u"x.vac");
  table.Add(-1, u"neg.vac");
  table.Add(INT32_MIN, u"min.vac");
  table.Add(INT32_MAX, u"max.vac");
  EXPECT_EQ(table.Size(), 7u);
  EXPECT_EQ(Lookup(table, 5), (std::vector<std::u16string>{u"x.vac", u"z.vac", u"x.vac"}));
  EXPECT_TRUE(Lookup(table, 4).empty());
  EXPECT_EQ(Lookup(table, -1), (std::vector<std::u16string>{u"neg.vac"}));
  EXPECT_TRUE(Lookup(table, 0).empty());
  EXPECT_EQ(Lookup(table, INT32_MIN), (std::vector<std::u16string>{u"min.vac"}));
  EXPECT_EQ(Lookup(table, INT32_MAX), (std::vector<std::u16string>{u"max.vac"}));
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
