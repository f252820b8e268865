// What every platform function must do. The same file runs natively and,
// cross-compiled, under Wine against the real Win32 calls.
#include "gtest_support.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "platform/move_across_test_helper.h"
#include "platform/platform.h"
#include "platform/system.h"
#include "test_support.h"

namespace kvo::test {
namespace {

using platform::CompareNames;

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(NameOrder, LetterCaseIsIgnoredAcrossScripts) {
  struct Case {
    const char* a;
    const char* b;
  };
  const Case equal[] = {
      {"Hair_01.vac", "HAIR_01.VAC"},
      {"", ""},
      {"éclair.vac", "ÉCLAIR.VAC"},          // Latin-1
      {"αβγ.vac", "ΑΒΓ.VAC"},                // Greek
      {"жёлтый.vac", "ЖЁЛТЫЙ.VAC"},          // Cyrillic
      {"ｆｕｌｌ.vac", "ＦＵＬＬ.vac"},      // full-width Latin
  };
  for (const Case& c : equal) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(0, CompareNames(U16(c.a).c_str(), U16(c.b).c_str()));
    EXPECT_EQ(0, CompareNames(U16(c.b).c_str(), U16(c.a).c_str()));
  }
  const Case different[] = {
      {"a.vac", "b.vac"}, {"a.vac", "a.va"}, {"", "a"}, {"a.vac", "a.vac "}, {"ж.vac", "з.vac"},
  };
  for (const Case& c : different) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    const int ab = CompareNames(U16(c.a).c_str(), U16(c.b).c_str());
    EXPECT_NE(0, ab);
    EXPECT_EQ(-Sign(ab), Sign(CompareNames(U16(c.b).c_str(), U16(c.a).c_str())));
  }
}

TEST(NameOrder, IsATotalOrderOnASample) {
  const std::vector<std::u16string> names = {
      u"Alpha.vac", u"alpha.VAC", u"beta.vac", u"Beta2.vac", u"gamma.vac", u"a", u"", u"A_b.vac",
      u"ab.vac",    u"AB-.vac",   u"x1.vac",   u"X10.vac",   u"x2.vac",    u"ж", u"Ж", u"ｚ"};
  // Antisymmetry and transitivity: what a balanced tree needs to stay sound.
  for (const auto& a : names) {
    for (const auto& b : names) {
      const int ab = Sign(CompareNames(a.c_str(), b.c_str()));
      EXPECT_EQ(-ab, Sign(CompareNames(b.c_str(), a.c_str())));
      for (const auto& c : names) {
        if (ab <= 0 && Sign(CompareNames(b.c_str(), c.c_str())) <= 0) {
          EXPECT_LE(Sign(CompareNames(a.c_str(), c.c_str())), 0)
              << U8(a) << " " << U8(b) << " " << U8(c);
        }
      }
    }
  }
  EXPECT_LT(CompareNames(u"Alpha.vac", u"beta.vac"), 0);
  EXPECT_LT(CompareNames(u"beta.vac", u"Gamma.vac"), 0);
}

// Names as varied as the folders a run meets: pieces beyond ASCII among
// letters and digits, the same names in other letter case, with a piece more
// (a hyphen's and an apostrophe's ties included) or a combining accent
// instead of a precomposed one, and names of the archives' usual kind.
std::vector<std::u16string> VariedNames(std::size_t count) {
  std::mt19937 random(20240607);
  auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  const std::vector<std::u16string>& pieces = NamePieces();
  const std::u16string letters = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::vector<std::u16string> names;
  while (names.size() < count) {
    std::u16string name;
    const std::size_t kind = names.empty() ? 0 : pick(10);
    if (kind < 4) {
      for (std::size_t n = 1 + pick(6); n > 0; --n) {
        name += pick(3) == 0 ? pieces[pick(pieces.size())] : std::u16string(1, letters[pick(letters.size())]);
      }
      if (pick(2) == 0) name += pick(2) == 0 ? u".vac" : u".VAC";
    } else if (kind < 6) {
      name = names[pick(names.size())];
      for (char16_t& c : name) {
        if (c < 0x80 && std::isalpha(c) && pick(2) == 0) c ^= 0x20;
      }
    } else if (kind < 8) {
      name = names[pick(names.size())];
      const std::u16string more = pick(3) == 0 ? std::u16string(pick(2) == 0 ? u"-" : u"'")
                                               : pieces[pick(pieces.size())];
      name.insert(pick(name.size() + 1), more);
    } else if (kind < 9) {
      name = pick(2) == 0 ? u"caf\u00E9" : u"cafe\u0301";
      name += std::u16string(1, letters[pick(letters.size())]) + u".vac";
    } else {
      const char16_t* const kinds[] = {u"Hair", u"hair", u"Cos", u"COS", u"Acc"};
      std::u16string digits;
      for (int i = 0; i < 6; ++i) digits += static_cast<char16_t>(u'0' + pick(10));
      name = std::u16string(kinds[pick(5)]) + (pick(2) == 0 ? u"_Long_" : u"-Long") + digits +
             (pick(2) == 0 ? u".vac" : u"_v2.vac");
    }
    if (name.size() + 1 <= kMaxPath) names.push_back(name);
  }
  return names;
}

// Sets of names compare them with their keys; a keyed order that differed
// from the name order in even one pair would put a set out of the system's
// order, or make two spellings of one name two names. So every pair is
// compared both ways. Pattern matching takes names that differ only in the
// case of ASCII letters for equal without asking: the order must agree.
TEST(NameOrder, KeysOrderEveryPairAsTheNameOrderDoes) {
  const std::vector<std::u16string> names = VariedNames(3000);
  std::vector<std::string> keys(names.size());
  std::vector<std::u16string> asciiLower = names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    platform::MakeNameKey(names[i].data(), names[i].size(), keys[i]);
    for (char16_t& c : asciiLower[i]) c = c < 0x80 ? static_cast<char16_t>(std::tolower(c)) : c;
  }
  std::size_t equal = 0;
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (std::size_t j = i; j < names.size(); ++j) {
      const int byName = Sign(CompareNames(names[i].c_str(), names[j].c_str()));
      const int byKey = Sign(platform::CompareKeyed(keys[i], names[i], keys[j], names[j]));
      if (byName == 0 && i != j) ++equal;
      const bool caseOnly = asciiLower[i] == asciiLower[j];
      if ((byName != byKey || (caseOnly && byName != 0)) && ++wrong <= 10) {
        ADD_FAILURE() << "\"" << U8(names[i]) << "\" against \"" << U8(names[j])
                      << "\": the names compare " << byName << ", their keys " << byKey;
      }
    }
  }
  EXPECT_EQ(wrong, 0u);
  // Spellings of one name must be among them, or equality went untried.
  EXPECT_GT(equal, names.size() / 10);
}

TEST(Paths, CombinePutsOneSeparatorAndRespectsMaxPath) {
  TempDir dir;
  std::u16string joined;
  ASSERT_TRUE(platform::CombinePath(dir.str(), u"x.vac", joined));
  EXPECT_EQ(P(joined), dir.path() / "x.vac");
  // A name that only begins with dots is a name, not the parent folder, in
  // the folder too.
  std::u16string dotted;
  ASSERT_TRUE(platform::CombinePath(dir.str(), u"..a.kvo", dotted));
  EXPECT_EQ(P(dotted), dir.path() / "..a.kvo");
  ASSERT_TRUE(platform::CombinePath(S(dir.path() / "..plug"), u"*.vac", dotted));
  EXPECT_EQ(P(dotted), dir.path() / "..plug" / "*.vac");

  // A folder given with a trailing separator gets no second one.
  std::u16string withSlash;
  ASSERT_TRUE(platform::CombinePath(dir.str(), u"", withSlash));
  std::u16string again;
  ASSERT_TRUE(platform::CombinePath(S(dir.path() / ""), u"x.vac", again));
  EXPECT_EQ(again, joined);

  // 259 units fit (with the terminator, 260); one more does not.
  const std::u16string folder = dir.str();
  const std::size_t room = kMaxPath - 1 - folder.size() - 1;
  std::u16string out = u"unchanged";
  EXPECT_TRUE(platform::CombinePath(folder, std::u16string(room, u'n'), out));
  EXPECT_EQ(out.size(), kMaxPath - 1);
  out = u"unchanged";
  EXPECT_FALSE(platform::CombinePath(folder, std::u16string(room + 1, u'n'), out));
  EXPECT_EQ(out, u"unchanged");

  // A folder that already ends in its separator gets none added, so the
  // same 259-unit result still fits.
  const std::u16string ended = S(dir.path() / "");
  ASSERT_EQ(ended.size(), folder.size() + 1);
  EXPECT_TRUE(platform::CombinePath(ended, std::u16string(room, u'n'), out));
  EXPECT_EQ(out.size(), kMaxPath - 1);
}

// The path a listed preset is opened by and a listed archive moved by. On
// Windows it carries the prefix \\?\, so that the system takes it as it
// stands: a file named CON.kvo is that file, not the console.
TEST(Paths, AListedNameIsTheFileItNames) {
  struct Case {
    const char16_t* folder;
    const char16_t* name;
    bool ok;
    const char16_t* path;
  };
  const std::u16string n252(252, u'n');
#ifdef _WIN32
  const std::u16string deep = u"C:\\" + n252;  // 255 units, 259 with \a.v
  const std::u16string fits = u"\\\\?\\" + deep + u"\\a.v";
  const Case cases[] = {
      {u"C:\\Presets", u"CON.kvo", true, u"\\\\?\\C:\\Presets\\CON.kvo"},
      {u"C:\\Presets\\", u"nul.kvo", true, u"\\\\?\\C:\\Presets\\nul.kvo"},
      {u"c:/x/./Plugin/../Work", u"COM1.vac", true, u"\\\\?\\c:\\x\\Work\\COM1.vac"},
      {u"C:\\x\\..plug", u"..a.vac", true, u"\\\\?\\C:\\x\\..plug\\..a.vac"},
      {u"\\\\server\\share\\Work", u"lpt1.VAC", true, u"\\\\?\\UNC\\server\\share\\Work\\lpt1.VAC"},
      {deep.c_str(), u"a.v", true, fits.c_str()},
      {deep.c_str(), u"ab.v", false, u""},
  };
#else
  const std::u16string deep = u"/" + n252 + u"nn";  // 255 units, 259 with /a.v
  const std::u16string fits = deep + u"/a.v";
  const Case cases[] = {
      {u"/presets", u"CON.kvo", true, u"/presets/CON.kvo"},
      {u"/presets/", u"nul.kvo", true, u"/presets/nul.kvo"},
      {u"/x/..plug", u"..a.vac", true, u"/x/..plug/..a.vac"},
      {deep.c_str(), u"a.v", true, fits.c_str()},
      {deep.c_str(), u"ab.v", false, u""},
  };
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.folder) + " + " + U8(c.name));
    std::u16string out;
    EXPECT_EQ(platform::ListedNamePath(c.folder, c.name, out), c.ok);
    EXPECT_EQ(out, c.path);
  }
}

TEST(Folders, IsFolderOnlyForExistingFolders) {
  TempDir dir;
  WriteText(dir.path() / "file.vac", "x");
  dir.Sub("sub");
  EXPECT_TRUE(platform::IsFolder(dir.str()));
  EXPECT_TRUE(platform::IsFolder(S(dir.path() / "sub")));
  EXPECT_FALSE(platform::IsFolder(S(dir.path() / "file.vac")));
  EXPECT_FALSE(platform::IsFolder(S(dir.path() / "missing")));
  EXPECT_FALSE(platform::IsFolder(u""));
}

TEST(Folders, FindFilesMatchesTheExtensionInAnyCaseAndListsFolders) {
  TempDir dir;
  for (const char* name : {"a.vac", "B.VAC", "c.Vac", "d.kvo", "e.txt", "vac", "f.vac.txt",
                           "Hair.vac_old", "x.vacation"}) {
    WriteText(dir.path() / name, "x");
  }
  dir.Sub("folder.vac");
  std::u16string search;
  ASSERT_TRUE(platform::CombinePath(dir.str(), u"*.vac", search));
  std::vector<std::u16string> names;
  EXPECT_EQ(platform::FindFiles(search, names), platform::ListStatus::kListed);
  std::vector<std::string> got;
  for (const auto& n : names) got.push_back(U8(n));
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"B.VAC", "a.vac", "c.Vac", "folder.vac"}));

  // Nothing matching is an empty listing; a folder that cannot be listed
  // (here: gone) is not.
  names.clear();
  ASSERT_TRUE(platform::CombinePath(dir.str(), u"*.zzz", search));
  EXPECT_EQ(platform::FindFiles(search, names), platform::ListStatus::kListed);
  EXPECT_TRUE(names.empty());
  ASSERT_TRUE(platform::CombinePath(S(dir.path() / "gone"), u"*.vac", search));
  EXPECT_EQ(platform::FindFiles(search, names), platform::ListStatus::kFailed);
  EXPECT_TRUE(names.empty());
}

TEST(Paths, FieldsThatAreNotAbsoluteAreTakenFromTheStartFolder) {
  struct Case {
    const char16_t* start;
    const char16_t* field;
    bool ok;
    const char16_t* resolved;
  };
#ifdef _WIN32
  const Case cases[] = {
      {u"C:\\Users\\u\\app", u"Plugin", true, u"C:\\Users\\u\\app\\Plugin"},
      {u"C:\\Users\\u\\app\\", u"sub\\Work", true, u"C:\\Users\\u\\app\\sub\\Work"},
      {u"C:\\Users\\u\\app", u"..\\Up", true, u"C:\\Users\\u\\Up"},
      // An element that only begins with two dots is a name, not "..".
      {u"C:\\Users\\u\\..app", u"Plugin", true, u"C:\\Users\\u\\..app\\Plugin"},
      {u"C:\\Users\\u\\app", u"..plug\\x", true, u"C:\\Users\\u\\app\\..plug\\x"},
      {u"C:\\Users\\u\\app", u"D:\\abs", true, u"D:\\abs"},
      {u"C:\\Users\\u\\app", u"d:/abs", true, u"d:/abs"},
      {u"C:\\Users\\u\\app", u"\\\\server\\share\\x", true, u"\\\\server\\share\\x"},
      // A root without a drive, a drive without a root.
      {u"C:\\Users\\u\\app", u"\\Root\\x", true, u"C:\\Root\\x"},
      {u"\\\\srv\\share\\app", u"\\x", true, u"\\\\srv\\share\\x"},
      {u"C:\\Users\\u\\app", u"c:Plugin", true, u"C:\\Users\\u\\app\\Plugin"},
      {u"C:\\Users\\u\\app", u"D:Plugin", true, u"D:\\Plugin"},
      {u"C:\\Users\\u\\app", u"", true, u""},
      {u"", u"Plugin", false, u""},
      {u"", u"D:\\abs", true, u"D:\\abs"},
  };
#else
  const Case cases[] = {
      {u"/home/u/app", u"Plugin", true, u"/home/u/app/Plugin"},
      {u"/home/u/app/", u"sub/Work", true, u"/home/u/app/sub/Work"},
      {u"/home/u/app", u"../Up", true, u"/home/u/app/../Up"},
      {u"/home/u/..app", u"Plugin", true, u"/home/u/..app/Plugin"},
      {u"/home/u/app", u"/abs/Plugin", true, u"/abs/Plugin"},
      {u"/home/u/app", u"", true, u""},
      {u"", u"Plugin", false, u""},
      {u"", u"/abs", true, u"/abs"},
  };
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.start) + " + " + U8(c.field));
    std::u16string out = u"stale";
    EXPECT_EQ(platform::ResolveAgainst(c.start, c.field, out), c.ok);
    EXPECT_EQ(out, c.resolved);
  }
  // The result must still fit a path: 259 units do, 260 do not.
#ifdef _WIN32
  const std::u16string root = u"C:\\";
#else
  const std::u16string root = u"/";
#endif
  const std::u16string fits = root + std::u16string(252 - root.size(), u'd');
  std::u16string out;
  EXPECT_TRUE(platform::ResolveAgainst(fits, u"Plugin", out));
  EXPECT_EQ(out.size(), kMaxPath - 1);
  const std::u16string deep = fits + u"d";
  EXPECT_FALSE(platform::ResolveAgainst(deep, u"Plugin", out));
  EXPECT_EQ(out, u"");
}

TEST(Files, ReadWholeFileAppendsZerosAndSaysWhyItFailed) {
  using platform::FileStatus;
  TempDir dir;
  WriteText(dir.path() / "list.txt", std::string("ab\0c", 4));
  WriteText(dir.path() / "empty.txt", "");
  std::vector<char> text;
  ASSERT_EQ(platform::ReadWholeFile(S(dir.path() / "list.txt"), 1, text), FileStatus::kRead);
  EXPECT_EQ(std::string(text.begin(), text.end()), std::string("ab\0c\0", 5));
  ASSERT_EQ(platform::ReadWholeFile(S(dir.path() / "empty.txt"), 1, text), FileStatus::kRead);
  EXPECT_EQ(text.size(), 1u);

  // Only a file or folder that is not there is missing; what exists but
  // cannot be read must not pass for missing.
  const fs::path huge = dir.path() / "huge.txt";
  WriteText(huge, "x");
  fs::resize_file(huge, (std::uintmax_t{1} << 32) + 1);  // sparse: no disk space used
  struct Case {
    const char* what;
    fs::path path;
    FileStatus status;
  };
#ifndef _WIN32
  // Neither a missing file nor a folder: a link that leads nowhere but to itself.
  fs::create_symlink("loop.txt", dir.path() / "loop.txt");
#endif
  const Case cases[] = {
#ifndef _WIN32
      {"a symbolic link loop", dir.path() / "loop.txt", FileStatus::kUnreadable},
#endif
      {"missing file", dir.path() / "missing.txt", FileStatus::kMissing},
      {"missing folder", dir.path() / "none" / "list.txt", FileStatus::kNoFolder},
      {"a file taken for a folder", dir.path() / "list.txt" / "x.txt", FileStatus::kNoFolder},
      {"a folder", dir.path(), FileStatus::kFolder},
      {"more than 32 bits of size", huge, FileStatus::kUnreadable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    text.assign(3, 'x');
    EXPECT_EQ(platform::ReadWholeFile(S(c.path), 1, text), c.status);
    EXPECT_TRUE(text.empty());
  }
}

TEST(Folders, PatternsMatchTheLongNameOnly) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*.vac", "a.vac", true},
      {"*.vac", "B.VAC", true},
      {"*.vac", "髪.Vac", true},
      {"*.vac", ".vac", true},
      // Windows would list these by their short names (HAIRVA~1.VAC, ...).
      {"*.vac", "Hair.vac_old", false},
      {"*.vac", "x.vacation", false},
      {"*.kvo", "a.kvo_bak", false},
      {"*.kvo", "a.kvo.bak", false},
      {"*.vac", "vac", false},
      {"*.vac", "a.va", false},
      {"*.vac", "", false},
      {"*.v?c", "a.VBC", true},
      {"*.v?c", "a.vac_c", false},
      {"a*b*.vac", "AxxBy.vac", true},
      {"a*b*.vac", "axx.vac", false},
      {"*", "anything", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
    EXPECT_EQ(platform::MatchesPattern(U16(c.pattern), U16(c.name)), c.matches);
  }
}

TEST(Files, ReadExactRefusesAShortRead) {
  TempDir dir;
  WriteText(dir.path() / "f", "1234");
  platform::FileHandle file = platform::OpenForReadNoShare(S(dir.path() / "f"));
  ASSERT_NE(file, nullptr);
  std::uint32_t size = 0;
  ASSERT_TRUE(platform::FileSize32(file, &size));
  EXPECT_EQ(size, 4u);
  char buffer[8];
  EXPECT_FALSE(platform::ReadExact(file, 8, buffer));
  platform::CloseFile(file);
}

#ifdef _WIN32
TEST(Files, AFileHeldWithNoSharingCannotBeOpenedAgain) {
  TempDir dir;
  WriteText(dir.path() / "held.txt", "x");
  platform::FileHandle first = platform::OpenForReadNoShare(S(dir.path() / "held.txt"));
  ASSERT_NE(first, nullptr);
  platform::FileStatus status = platform::FileStatus::kRead;
  EXPECT_EQ(platform::OpenForReadNoShare(S(dir.path() / "held.txt"), &status), nullptr);
  EXPECT_EQ(status, platform::FileStatus::kUnreadable);
  std::vector<char> text;
  EXPECT_EQ(platform::ReadWholeFile(S(dir.path() / "held.txt"), 0, text),
            platform::FileStatus::kUnreadable);
  platform::CloseFile(first);
  EXPECT_EQ(platform::ReadWholeFile(S(dir.path() / "held.txt"), 0, text), platform::FileStatus::kRead);
}
#endif

TEST(Files, MoveNeverReplacesAndKeepsBothSidesOnFailure) {
  using platform::MoveStatus;
  TempDir dir;
  const auto from = dir.Sub("from");
  const auto to = dir.Sub("to");
  WriteText(from / "a.vac", "AAA");
  WriteText(from / "b.vac", "new");
  WriteText(to / "b.vac", "old");
  dir.Sub("from/sub.vac");
  WriteText(from / "sub.vac" / "inner", "in");
  dir.Sub("to/dir.vac");

  EXPECT_TRUE(platform::MoveNoReplace(S(from / "a.vac"), S(to / "a.vac")).Moved());
  EXPECT_EQ(ReadText(to / "a.vac"), "AAA");
  EXPECT_FALSE(fs::exists(from / "a.vac"));

  EXPECT_EQ(platform::MoveNoReplace(S(from / "b.vac"), S(to / "b.vac")).status,
            MoveStatus::kDestinationExists);
  EXPECT_EQ(ReadText(from / "b.vac"), "new");
  EXPECT_EQ(ReadText(to / "b.vac"), "old");
  // A folder of the name is taken too.
  EXPECT_EQ(platform::MoveNoReplace(S(from / "b.vac"), S(to / "dir.vac")).status,
            MoveStatus::kDestinationExists);

  EXPECT_TRUE(platform::MoveNoReplace(S(from / "sub.vac"), S(to / "sub.vac")).Moved());
  EXPECT_EQ(ReadText(to / "sub.vac" / "inner"), "in");

  // Gone comes first, even where the name is taken.
  EXPECT_EQ(platform::MoveNoReplace(S(from / "gone.vac"), S(to / "gone.vac")).status,
            MoveStatus::kSourceGone);
  EXPECT_EQ(platform::MoveNoReplace(S(from / "gone.vac"), S(to / "b.vac")).status,
            MoveStatus::kSourceGone);
  EXPECT_FALSE(fs::exists(to / "gone.vac"));

  // A move whose paths cannot be formed: what would come first, else nothing.
  EXPECT_EQ(platform::MoveObstacle(S(from), S(to), u"gone.vac"), MoveStatus::kSourceGone);
  EXPECT_EQ(platform::MoveObstacle(S(from), S(to), u"b.vac"), MoveStatus::kDestinationExists);
  WriteText(from / "c.vac", "C");
  EXPECT_EQ(platform::MoveObstacle(S(from), S(to), u"c.vac"), MoveStatus::kMoved);
  EXPECT_EQ(ReadText(from / "c.vac"), "C");
}

// What a move to another volume does with each kind of source, by its
// attributes and reparse tag (Windows' values: the system's own files look
// so on Windows, and the POSIX files describe links, folders and read-only
// files so). Such files cannot be made under Wine, nor natively.
TEST(Moves, WhatIsMovedAcrossVolumes) {
  using platform::MoveStatus;
  const struct {
    const char* what;
    std::uint32_t attributes, tag;
    MoveStatus status;
  } cases[] = {
      {"a plain file", 0x20, 0, MoveStatus::kMoved},
      {"hidden, system, not indexed", 0x2026, 0, MoveStatus::kMoved},
      {"read-only", 0x21, 0, MoveStatus::kReadOnlyAcrossVolumes},
      {"a folder", 0x10, 0, MoveStatus::kFolderAcrossVolumes},
      {"a read-only folder", 0x11, 0, MoveStatus::kFolderAcrossVolumes},
      {"a symbolic link (IO_REPARSE_TAG_SYMLINK)", 0x420, 0xA000000C,
       MoveStatus::kLinkAcrossVolumes},
      {"a read-only symbolic link to a folder", 0x411, 0xA000000C, MoveStatus::kLinkAcrossVolumes},
      {"a junction or mount point (IO_REPARSE_TAG_MOUNT_POINT)", 0x410, 0xA0000003,
       MoveStatus::kLinkAcrossVolumes},
      {"a name surrogate of another vendor", 0x400, 0x20001234, MoveStatus::kLinkAcrossVolumes},
      {"a reparse point whose tag could not be read", 0x400, 0, MoveStatus::kLinkAcrossVolumes},
      {"a cloud file kept here (IO_REPARSE_TAG_CLOUD_3)", 0x80420, 0x9000301A, MoveStatus::kMoved},
      {"a cloud file online only (IO_REPARSE_TAG_CLOUD, recall on data access)", 0x500620,
       0x9000001A, MoveStatus::kMoved},
      {"a cloud file (IO_REPARSE_TAG_CLOUD_F)", 0x420, 0x9000F01A, MoveStatus::kMoved},
      {"a read-only cloud file", 0x421, 0x9000101A, MoveStatus::kReadOnlyAcrossVolumes},
      {"a cloud folder", 0x410, 0x9000701A, MoveStatus::kFolderAcrossVolumes},
      {"compressed by compact /exe (IO_REPARSE_TAG_WOF)", 0x420, 0x80000017, MoveStatus::kMoved},
      {"deduplicated (IO_REPARSE_TAG_DEDUP)", 0x420, 0x80000013, MoveStatus::kMoved},
      {"an unknown tag that is no name surrogate", 0x420, 0x00004321, MoveStatus::kMoved},
      {"a tag without the reparse point attribute", 0x20, 0xA000000C, MoveStatus::kMoved},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(platform::AcrossVolumesDecision(c.attributes, c.tag), c.status);
  }
}

// The steps of a move to another volume, each one failing in turn in a
// scripted copy: what was done and undone, and what the move gives. A
// failure before the copy touches nothing; after the temporary is made and
// before the final name, the temporary goes; once the source cannot be
// removed, the finished copy goes. Times and attributes are no reason to
// give up: the archive is whole. The stop flag is looked at before each
// block.
TEST(Moves, EveryStepOfACopyAcrossVolumesFailsCleanly) {
  using platform::MoveResult;
  using platform::MoveStatus;
  enum class Step { kNone, kLook, kTaken, kOpen, kIdentity, kTemporary, kRead, kWrite, kTimes,
                    kFlush, kRename, kAttributes, kRemoveSource, kStop };
  struct Scripted final : platform::CrossVolumeCopy {
    Step failAt = Step::kNone;
    bool taken = false;  // the destination's name is taken whatever fails
    std::uint32_t attributes = 0;
    MoveResult lookFailure{MoveStatus::kAccessDenied, 5};
    platform::StopFlag stop{false};
    int blocks = 2;
    std::string trace;

    MoveResult Do(Step step, const char* word) {
      trace += word;
      trace += ' ';
      if (step != failAt) return MoveResult{};
      return MoveResult{MoveStatus::kSystemError, 100u + static_cast<std::uint32_t>(step)};
    }
    MoveResult LookAtSource(platform::SourceLook& look) override {
      look.attributes = attributes;
      trace += "look ";
      return failAt == Step::kLook ? lookFailure : MoveResult{};
    }
    bool DestinationTaken() override {
      trace += "taken? ";
      return taken || failAt == Step::kTaken;
    }
    MoveResult OpenSource() override { return Do(Step::kOpen, "open"); }
    MoveResult CheckIdentity(const platform::SourceLook&) override {
      return Do(Step::kIdentity, "identity");
    }
    MoveResult CreateTemporary() override { return Do(Step::kTemporary, "temporary"); }
    MoveResult Read(std::size_t size, char*, std::size_t& got) override {
      got = blocks-- > 0 ? size : 0;
      return Do(Step::kRead, "read");
    }
    MoveResult Write(const char*, std::size_t) override {
      if (failAt == Step::kStop) stop = true;
      return Do(Step::kWrite, "write");
    }
    MoveResult SetTimes() override { return Do(Step::kTimes, "times"); }
    MoveResult Flush() override { return Do(Step::kFlush, "flush"); }
    MoveResult GiveFinalName() override { return Do(Step::kRename, "rename"); }
    MoveResult SetAttributes() override { return Do(Step::kAttributes, "attributes"); }
    MoveResult RemoveSource() override { return Do(Step::kRemoveSource, "remove"); }
    void RemoveTemporary() override { trace += "(undo temporary) "; }
    void RemoveFinal() override { trace += "(undo final) "; }
  };
  const std::string copied = "look taken? open identity temporary read write read write read ";
  const struct {
    Step failAt;
    std::uint32_t attributes;
    MoveStatus lookFailure;
    std::string trace;
    MoveStatus status;
    bool taken = false;
  } cases[] = {
      {Step::kNone, 0, {}, copied + "times flush rename attributes remove ", MoveStatus::kMoved},
      {Step::kLook, 0, MoveStatus::kAccessDenied, "look taken? ", MoveStatus::kAccessDenied},
      {Step::kLook, 0, MoveStatus::kSourceGone, "look ", MoveStatus::kSourceGone},
      // A name taken comes before what kept the source from being looked at.
      {Step::kLook, 0, MoveStatus::kAccessDenied, "look taken? ", MoveStatus::kDestinationExists,
       true},
      {Step::kTaken, 0, {}, "look taken? ", MoveStatus::kDestinationExists},
      {Step::kTaken, 0x10, {}, "look taken? ", MoveStatus::kDestinationExists},
      {Step::kNone, 0x10, {}, "look taken? ", MoveStatus::kFolderAcrossVolumes},
      {Step::kNone, 0x01, {}, "look taken? ", MoveStatus::kReadOnlyAcrossVolumes},
      {Step::kOpen, 0, {}, "look taken? open ", MoveStatus::kSystemError},
      {Step::kIdentity, 0, {}, "look taken? open identity ", MoveStatus::kSystemError},
      {Step::kTemporary, 0, {}, "look taken? open identity temporary ", MoveStatus::kSystemError},
      {Step::kRead, 0, {}, "look taken? open identity temporary read (undo temporary) ",
       MoveStatus::kSystemError},
      {Step::kWrite, 0, {}, "look taken? open identity temporary read write (undo temporary) ",
       MoveStatus::kSystemError},
      {Step::kStop, 0, {}, "look taken? open identity temporary read write (undo temporary) ",
       MoveStatus::kStopped},
      {Step::kTimes, 0, {}, copied + "times flush rename attributes remove ", MoveStatus::kMoved},
      {Step::kFlush, 0, {}, copied + "times flush (undo temporary) ", MoveStatus::kSystemError},
      {Step::kRename, 0, {}, copied + "times flush rename (undo temporary) ",
       MoveStatus::kSystemError},
      {Step::kAttributes, 0, {}, copied + "times flush rename attributes remove ",
       MoveStatus::kMoved},
      {Step::kRemoveSource, 0, {}, copied + "times flush rename attributes remove (undo final) ",
       MoveStatus::kSystemError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.failAt));
    SCOPED_TRACE(c.attributes);
    Scripted copy;
    copy.failAt = c.failAt;
    copy.taken = c.taken;
    copy.attributes = c.attributes;
    copy.lookFailure.status = c.lookFailure;
    const MoveResult result = platform::MoveAcrossVolumes(copy, &copy.stop);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(copy.trace, c.trace);
  }
}

TEST(Text, AnsiConversionKeepsNamesThatFitAPath) {
  std::u16string out;
  EXPECT_TRUE(platform::AnsiToUtf16("Face.vac", 8, out));
  EXPECT_EQ(out, u"Face.vac");
  EXPECT_TRUE(platform::AnsiToUtf16("", 0, out));
  EXPECT_EQ(out, u"");
  const std::string fits(kMaxPath - 1, 'x');
  EXPECT_TRUE(platform::AnsiToUtf16(fits.data(), fits.size(), out));
  EXPECT_EQ(out.size(), kMaxPath - 1);
  const std::string tooLong(kMaxPath, 'x');
  EXPECT_FALSE(platform::AnsiToUtf16(tooLong.data(), tooLong.size(), out));
}

// Runs of U+FFFD as one: how many an ill-formed stretch becomes is the
// system's own (Wine groups some bytes, the POSIX file replaces each).
std::u16string OneReplacementPerRun(const std::u16string& text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c != u'\uFFFD' || out.empty() || out.back() != u'\uFFFD') out += c;
  }
  return out;
}

// What decides whether a list without a mark is UTF-8: both systems must
// refuse exactly the sequences that are not well-formed.
TEST(Text, Utf8ConversionRefusesOrReplacesWhatIsNotWellFormed) {
  struct Case {
    const char* what;
    std::string bytes;
    bool wellFormed;
    std::u16string replaced;  // without strictness, one U+FFFD per ill-formed run
  };
  const Case cases[] = {
      {"empty", "", true, u""},
      {"two, three and four bytes", "\xC3\xA9\xE9\xAB\xAA\xF0\x9F\x98\x80", true,
       u"\u00E9\u9AEA\U0001F600"},
      {"the last code point", "\xF4\x8F\xBF\xBF", true, u"\U0010FFFF"},
      {"NUL is text", std::string("a\0b", 3), true, std::u16string(u"a\0b", 3)},
      {"overlong", "\xC0\xAF.", false, u"\uFFFD."},
      {"overlong of three", "\xE0\x80\xAF", false, u"\uFFFD"},
      {"surrogate", "\xED\xA0\x80", false, u"\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", false, u"\uFFFD"},
      {"stray continuation", "a\x80", false, u"a\uFFFD"},
      {"no such byte", "\xFF", false, u"\uFFFD"},
      {"Shift-JIS", "\x94\xaf", false, u"\uFFFD"},
      {"cut short", "a\xE9\xAB", false, u"a\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::u16string out = u"old";
    EXPECT_EQ(platform::Utf8ToUtf16(c.bytes.data(), c.bytes.size(), true, out), c.wellFormed);
    EXPECT_EQ(out, c.wellFormed ? c.replaced : u"");
    EXPECT_TRUE(platform::Utf8ToUtf16(c.bytes.data(), c.bytes.size(), false, out));
    EXPECT_EQ(OneReplacementPerRun(out), c.replaced);
  }
}

TEST(Text, UnicodeCodePagesGetNoConversionFlags) {
  struct Case {
    std::uint32_t codePage;
    std::uint32_t flags;
  };
  // MB_PRECOMPOSED is 1; UTF-8 and GB18030 fail with any flag but one.
  const Case cases[] = {{932, 1}, {1252, 1}, {936, 1}, {65001, 0}, {54936, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    EXPECT_EQ(platform::AnsiConversionFlags(c.codePage), c.flags);
  }
}

TEST(Text, FormatLineHandlesTheToolsConversions) {
  char16_t buffer[platform::kLineBufferUnits];
  struct Case {
    int value;
    const char16_t* expected;
  };
  const Case numbers[] = {{0, u"[0]"}, {-5, u"[-5]"}, {67108864, u"[67108864]"},
                          {INT_MIN, u"[-2147483648]"}, {INT_MAX, u"[2147483647]"}};
  for (const Case& c : numbers) {
    platform::FormatLine(buffer, u"[%d]", c.value);
    EXPECT_EQ(std::u16string(buffer), c.expected);
  }
  platform::FormatLine(buffer, u"エラー %u", 4294967295u);
  EXPECT_EQ(std::u16string(buffer), u"エラー 4294967295");
  EXPECT_EQ(platform::FormatLine(buffer, u"%s 読み込み失敗\r\n", u"Work:"), 14);
  EXPECT_EQ(std::u16string(buffer), u"Work: 読み込み失敗\r\n");
  platform::FormatLine(buffer, u"→ %d/%d/%d\r\n", 1, 22, 333);
  EXPECT_EQ(std::u16string(buffer), u"→ 1/22/333\r\n");
  // Never more than the buffer: 1023 units and the terminator.
  const std::u16string longName(2000, u'n');
  platform::FormatLine(buffer, u"%s", longName.c_str());
  EXPECT_EQ(std::u16string(buffer).size(), platform::kLineBufferUnits - 1);
}

TEST(Process, ExeFolderAndCurrentFolder) {
  const std::u16string exe = platform::ExePath();
  const std::u16string folder = platform::ExeFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(platform::IsFolder(folder));
  EXPECT_EQ(P(exe).parent_path(), P(folder));

  TempDir dir;

  const std::u16string before = platform::CurrentFolder();
  platform::RecordStartFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(dir.str()));
  EXPECT_TRUE(fs::equivalent(P(platform::CurrentFolder()), dir.path()));
  // The start folder stays what it was when recorded.
  EXPECT_EQ(platform::StartFolder(), before);
  EXPECT_FALSE(platform::SetCurrentFolder(S(dir.path() / "missing")));
  EXPECT_TRUE(fs::equivalent(P(platform::CurrentFolder()), dir.path()));
  ASSERT_TRUE(platform::SetCurrentFolder(before));
}

}  // namespace
}  // namespace kvo::test
