// Seed inputs, made fresh at build time rather than kept as binary files.
#include <climits>
#include <cstring>

#include "fuzz_checks.h"
#include "list_reference.h"
#include "preset_builder.h"

namespace kvo::fuzz {
namespace {

using test::PresetBuilder;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::vector<Bytes> PresetSeeds() {
  std::vector<Bytes> out;
  // The smallest file that yields an entry, and a few ordinary ones.
  out.push_back(PresetBuilder().ListHeader(1).Entry(1).BuildTruncated(341));
  out.push_back(PresetBuilder().ListHeader(3).Entry(1).Entry(2, u"abcdefg").Entry(67108864).Build());
  out.push_back(PresetBuilder().ListHeader(0).Entry(5).Build());
  out.push_back(PresetBuilder()
                    .ListHeader(4)
                    .Entry(-5)
                    .Entry(67108863)
                    .Entry(67108865)
                    .Entry(INT32_MAX)
                    .Build());
  // Two unknown ids from 2^26 up: two placeholders, both kept.
  out.push_back(PresetBuilder().ListHeader(3).Entry(67108870).Entry(67108865).Entry(1).Build());
  // Decoys and junk the searches must step over.
  out.push_back(PresetBuilder().DecoyHeader().ListHeader(2).Entry(2).Filler(7).Entry(3).Build());
  out.push_back(PresetBuilder()
                    .ListHeader(2)
                    .Entry(1)
                    .RawEntry(18, u"abcdefgh", 0, 2)
                    .RawEntry(6, u"ab", 0, 3)
                    .RawEntry(4, u"a", 1, 0)
                    .Entry(0)
                    .Build());
  out.push_back(PresetBuilder().Filler(3, 0x0D).ListHeader(1).Raw({0x0D, 0, 0, 0}).Entry(1).Build());
  // Header skips that move the scan start around, before the file included.
  out.push_back(PresetBuilder().Skip(-200).ListHeader(1).Entry(1).Build());
  out.push_back(PresetBuilder().Skip(-400).ListHeader(1).Entry(2).Build());
  out.push_back(PresetBuilder().Skip(31).Filler(5).ListHeader(1).Entry(3).Build());
  // A skip so large that the scan start lies far beyond the file.
  Bytes far = PresetBuilder().ListHeader(1).Entry(3).Build();
  far[44] = 0xFF;
  far[45] = 0xFF;
  far[46] = 0xFF;
  far[47] = 0x7F;
  out.push_back(far);
  // Damaged starts and cut files.
  Bytes magic = {'P', 0, 'X', 0, 'L', 0, 'T', 0, '/', 0, '0', 0, '1', 0};
  out.push_back(PresetBuilder().Magic(magic).ListHeader(1).Entry(1).Build());
  const Bytes full = PresetBuilder().ListHeader(2).Entry(1).Entry(2).Build();
  for (std::size_t size : {0, 13, 47, 48, 304, 321, 325, 337, 340, 341, 357}) {
    out.push_back(Bytes(full.begin(), full.begin() + std::min(size, full.size())));
  }
  return out;
}

std::vector<Bytes> ListSeeds() {
  std::vector<Bytes> out;
  out.push_back(Text("1,face.vac\r\n2,body.vac\r\n2,Body.VAC,comment\r\n-5,neg.vac\r\n"));
  out.push_back(Text("base.vac\r\nBASE.vac\r\n\r\n  spaced.vac  \r\n"));
  out.push_back(Text("1,lf.vac\n2,nolf.vac"));
  out.push_back(Text("id,name\r\n\xEF\xBB\xBF" "7,bom.vac\r\n"));
  out.push_back(Text("99999999999,big.vac\r\n-99999999999,small.vac\r\n+12,plus.vac\r\n\t 3,ws.vac\r\n"));
  out.push_back(Text("2147483647,max\r\n2147483648,over\r\n-2147483648,min\r\n-2147483649,under\r\n"));
  std::string withNul = "1,a.vac\r\n2,b";
  withNul += '\0';
  withNul += ".vac\r\n3,c.vac\r\n";
  out.push_back(Text(withNul));
  out.push_back(Text("\n1,first-lf.vac\r\n"));
  out.push_back(Text("1," + std::string(259, 'n') + "\r\n2," + std::string(260, 'm') + "\r\n"));
  // Japanese in UTF-8 and in Shift-JIS bytes.
  out.push_back(Text("1,\xE9\xAB\xAA.vac\r\n\xE9\xAB\xAA\xE5\x9E\x8B.vac\r\n"));
  out.push_back(Text("1,\x94\xaf.vac\r\n\x94\xaf\x8c\x5e.vac\r\n"));
  out.push_back(Text("no comma here\r\nnor here\r\n"));
  // Saved as Notepad saves: each mark, a NUL unit, an odd last byte; UTF-8
  // without a mark that a double-byte code page reads as its own (e acute),
  // and Shift-JIS half-width kana (ﾍｱｰ) that is well-formed UTF-8.
  using test::ListSave;
  out.push_back(Text(test::SaveList("1,髪型.vac\r\nbase.vac\r\n2,ﾍｱ.vac,x\r\n", ListSave::kUtf8Bom)));
  out.push_back(Text(test::SaveList("1,髪型.vac\r\n-3,café.vac\nlast.vac", ListSave::kUtf16Le)));
  out.push_back(Text(test::SaveList(std::string("1,a.vac\r\n2,\0b\r\n", 15), ListSave::kUtf16Le)));
  out.push_back(Text(test::SaveList("7,\xF0\x9F\x98\x80.vac\r\n", ListSave::kUtf16Be) + "!"));
  out.push_back(Text("1,caf\xC3\xA9.vac\r\n\xE9\xAB\xAA.vac\r\n"));
  out.push_back(Text("\xCD\xB1\xB0.vac\r\n1,\xCD\xB1.vac\r\n"));
  out.push_back(Text("\xEF\xBB\xBF" "1,\xC0\xAF\xE9\xAB.vac\r\n"));
  return out;
}

void PutPath(Bytes& record, int slot, const std::u16string& path) {
  for (std::size_t i = 0; i < path.size() && i < 260; ++i) {
    record[slot * 520 + 2 * i] = static_cast<unsigned char>(path[i] & 0xFF);
    record[slot * 520 + 2 * i + 1] = static_cast<unsigned char>(path[i] >> 8);
  }
}

std::vector<Bytes> SettingsSeeds() {
  std::vector<Bytes> out;
  Bytes record(1560, 0);
  PutPath(record, 0, u"C:\\Velmora\\Plugin");
  PutPath(record, 1, u"C:\\Velmora\\Preset");
  PutPath(record, 2, u"D:\\\u4F5C\u696D");
  out.push_back(record);
  out.push_back(Bytes(record.begin(), record.begin() + 100));
  Bytes longer = record;
  longer.resize(2000, 'x');
  out.push_back(longer);
  out.push_back(Bytes(1560, 'A'));  // no terminator anywhere
  out.push_back(Bytes());
  out.push_back(Bytes(521, 0x41));
  return out;
}

std::vector<Bytes> NameSeeds() {
  std::vector<Bytes> out;
  // Insert a, A, b; ask; copy; clear; add ids; look up; compare.
  out.push_back({0, 1, 0, 0, 1, 1, 0x80, 1, 2, 1, 1, 1, 3, 6, 0x86, 0x83, 2, 6, 0x86});
  out.push_back({4, 6, 1, 0, 4, 6, 1, 1, 4, 3, 1, 2, 4, 6, 1, 0, 5, 6, 5, 3, 5, 0});
  out.push_back({0, 3, 12, 13, 14, 0, 3, 13, 12, 14, 1, 3, 13, 13, 14, 7, 2, 19, 20, 6, 0x43, 6});
  out.push_back({4, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 2, 1, 2, 5, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F});
  Bytes many;
  for (int i = 0; i < 200; ++i) {
    many.push_back(static_cast<unsigned char>(i % 2 == 0 ? 0 : 0x80));
    many.push_back(static_cast<unsigned char>(1 + i % 5));
    for (int k = 0; k < 5; ++k) many.push_back(static_cast<unsigned char>(i * 7 + k * 3));
  }
  many.push_back(6);
  out.push_back(many);
  return out;
}

}  // namespace

std::vector<Bytes> Seeds(const std::string& target) {
  if (target == "preset") return PresetSeeds();
  if (target == "side_lists") return ListSeeds();
  if (target == "settings") return SettingsSeeds();
  if (target == "names") return NameSeeds();
  return {};
}

}  // namespace kvo::fuzz
