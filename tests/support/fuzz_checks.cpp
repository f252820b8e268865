#include "fuzz_checks.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <sstream>
#include <utility>

#include "reconcile/folders.h"
#include "list_reference.h"
#include "lists/id_table.h"
#include "lists/list_text.h"
#include "lists/name_set.h"
#include "lists/preset_list.h"
#include "lists/side_lists.h"
#include "platform/platform.h"
#include "preset/preset_reader.h"

namespace kvo::fuzz {
namespace {

std::string Show(const std::u16string& text) {
  std::ostringstream out;
  out << '"';
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out << static_cast<char>(c);
    } else {
      out << "\\u" << std::hex << static_cast<unsigned>(c) << std::dec;
    }
  }
  out << '"';
  return out.str();
}

std::vector<std::u16string> Texts(const NameSet& set) {
  return std::vector<std::u16string>(set.begin(), set.end());
}

// The models below borrow the product's name order and code page conversion:
// they stand for the system's own (lstrcmpiW, MultiByteToWideChar), which
// the models have no way to restate; CheckOrder tests the order itself.
bool Less(const std::u16string& a, const std::u16string& b) {
  return platform::CompareNames(a.c_str(), b.c_str()) < 0;
}

// ---- a plain model of the name set and the id table ------------------------

// A sorted vector under the name order; the first spelling of a name stays.
class ModelSet {
 public:
  void Insert(const std::u16string& name) {
    auto it = std::lower_bound(names_.begin(), names_.end(), name, Less);
    if (it == names_.end() || Less(name, *it)) names_.insert(it, name);
  }
  bool Contains(const std::u16string& name) const {
    auto it = std::lower_bound(names_.begin(), names_.end(), name, Less);
    return it != names_.end() && !Less(name, *it);
  }
  void Clear() { names_.clear(); }
  const std::vector<std::u16string>& Names() const { return names_; }

 private:
  std::vector<std::u16string> names_;
};

// Entries in stored order: a new entry goes after every entry whose id is
// less than or equal to its own.
class ModelTable {
 public:
  void Add(std::int32_t id, const std::u16string& name) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const auto& entry) { return entry.first > id; });
    entries_.insert(it, {id, name});
  }
  std::vector<std::u16string> Lookup(std::int32_t id) const {
    std::vector<std::u16string> out;
    for (const auto& entry : entries_) {
      if (entry.first == id) out.push_back(entry.second);
    }
    return out;
  }
  std::size_t Size() const { return entries_.size(); }
  const std::vector<std::pair<std::int32_t, std::u16string>>& Entries() const { return entries_; }

 private:
  std::vector<std::pair<std::int32_t, std::u16string>> entries_;
};

std::vector<std::u16string> Lookup(const IdTable& table, std::int32_t id) {
  std::vector<std::u16string> out;
  auto range = table.Lookup(id);
  for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
  return out;
}

std::string CompareSets(const NameSet& set, const ModelSet& model, const char* what) {
  const std::vector<std::u16string> got = Texts(set);
  if (set.Size() != got.size()) return std::string(what) + ": Size() differs from its iteration";
  if (got != model.Names()) {
    std::string out = std::string(what) + ": holds";
    for (const auto& name : got) out += " " + Show(name);
    out += ", model holds";
    for (const auto& name : model.Names()) out += " " + Show(name);
    return out;
  }
  // The order must really be ascending, or lookups are not to be trusted.
  for (std::size_t i = 1; i < got.size(); ++i) {
    if (!Less(got[i - 1], got[i])) {
      return std::string(what) + ": " + Show(got[i - 1]) + " does not order before " +
             Show(got[i]);
    }
  }
  return std::string();
}

std::string CompareTables(const IdTable& table, const ModelTable& model, const char* what) {
  if (table.Size() != model.Size()) {
    return std::string(what) + ": size " + std::to_string(table.Size()) + ", model " +
           std::to_string(model.Size());
  }
  for (const auto& entry : model.Entries()) {
    if (Lookup(table, entry.first) != model.Lookup(entry.first)) {
      return std::string(what) + ": lookup of " + std::to_string(entry.first) +
             " differs from the model";
    }
  }
  return std::string();
}

// Reads bytes one at a time; zeros once the input is used up.
class Cursor {
 public:
  Cursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return pos_ < size_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::int32_t Id() {
    // Mostly ids from a small set, so that equal ids meet; sometimes any.
    static const std::int32_t kIds[] = {INT32_MIN, -5, -1, 0, 1, 2, 5, 67108864, INT32_MAX};
    const std::uint8_t b = Byte();
    if (b < 0xF0) return kIds[b % (sizeof kIds / sizeof kIds[0])];
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return static_cast<std::int32_t>(value);
  }
  std::u16string Name() {
    // Letters in both cases from several scripts, punctuation, a lone
    // surrogate and the last unit, so that equivalent spellings meet often.
    static const char16_t kUnits[] = {
        u'a',   u'A',   u'b',   u'B',   u'z',   u'_',   u'-',   u'.',   u'0',   u'~',   u' ',
        0x7F,   0xC0,   0xE0,   0xD7,   0xF7,   0xDF,   0xFF,   0x100,  0x101,  0x130,  0x131,
        0x178,  0x3A9,  0x3C9,  0x3A2,  0x3C2,  0x410,  0x430,  0x401,  0x451,  0x3042, 0x30A2,
        0xFF21, 0xFF41, 0xD800, 0xDC00, 0xFFFF};
    const std::size_t length = Byte() % 6;
    std::u16string name;
    for (std::size_t i = 0; i < length; ++i) {
      name += kUnits[Byte() % (sizeof kUnits / sizeof kUnits[0])];
    }
    return name;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

int Sign(int v) { return (v > 0) - (v < 0); }

// The order must be usable by an ordered set: antisymmetric, reflexive on
// equal text, and transitive over every name seen so far.
std::string CheckOrder(const std::vector<std::u16string>& sorted, const std::u16string& probe) {
  const char16_t* p = probe.c_str();
  if (platform::CompareNames(p, p) != 0) return "a name does not compare equal to itself";
  for (const auto& name : sorted) {
    const int ab = platform::CompareNames(p, name.c_str());
    const int ba = platform::CompareNames(name.c_str(), p);
    if (Sign(ab) != -Sign(ba)) {
      return "order not antisymmetric for " + Show(probe) + " and " + Show(name);
    }
  }
  return std::string();
}

// ---- preset reader ---------------------------------------------------------

// The fixed id table: equal ids, names equal but for letter case, a matched
// id in the placeholder range and a negative id.
const std::vector<std::pair<std::int32_t, std::u16string>>& FuzzTable() {
  static const std::vector<std::pair<std::int32_t, std::u16string>> kEntries = {
      {1, u"Face.vac"},     {2, u"face.VAC"},     {2, u"body.vac"},       {3, u"body.vac"},
      {0, u"zero.vac"},     {-5, u"neg.vac"},     {67108864, u"big.vac"}, {2, u"hair.vac"},
      {INT32_MAX, u"max.vac"}, {INT32_MIN, u"min.vac"}};
  return kEntries;
}

std::uint32_t RefU32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

std::int32_t RefI32(const std::uint8_t* p) {
  const std::uint32_t v = RefU32(p);
  return v <= INT32_MAX ? static_cast<std::int32_t>(v)
                        : static_cast<std::int32_t>(static_cast<std::int64_t>(v) - 4294967296LL);
}

// The format read the slow, obvious way: every position tested in full, with
// explicit bounds. Returns 0 or -1 and the names in the order found.
int ReferencePreset(const std::uint8_t* d, std::size_t size,
                    std::vector<std::u16string>& needs) {
  static const std::uint8_t kMagic[14] = {'P', 0, 'X', 0, 'L', 0, 'T', 0, '/', 0, '0', 0, 0, 0};
  if (size < 48) return -1;
  for (int i = 0; i < 14; ++i) {
    if (d[i] != kMagic[i]) return -1;
  }
  const long long start = 304LL + RefI32(d + 44);
  if (start < 0) return -1;
  const unsigned long long s = size;

  // Label length at r, or 0 when no entry stands there with `tail` more
  // bytes after its label inside the data.
  auto entry = [&](unsigned long long r, unsigned long long tail) -> int {
    if (r + 4 > s) return 0;
    const std::int32_t length = RefI32(d + r);
    if (length < 4 || length > 16 || length % 2 != 0) return 0;
    if (r + 4 + static_cast<unsigned long long>(length) + tail > s) return 0;
    int firstZero = -1;
    for (int unit = 0; unit < length / 2; ++unit) {
      const std::uint8_t* u = d + r + 4 + 2 * unit;
      if (u[0] == 0 && u[1] == 0) {
        firstZero = unit;
        break;
      }
    }
    if (firstZero != length / 2 - 1) return 0;
    if (RefU32(d + r + 4 + length) != 0) return 0;
    return length;
  };

  unsigned long long p = static_cast<unsigned long long>(start);
  bool found = false;
  for (; p < s; ++p) {
    if (p + 21 > s) break;
    if (RefI32(d + p) != 13) continue;
    if (RefU32(d + p + 17) > 255) continue;
    if (entry(p + 21, 4) == 0) continue;
    found = true;
    break;
  }
  if (!found) return -1;

  const std::uint32_t count = RefU32(d + p + 17);
  unsigned long long r = p + 21;
  for (std::uint32_t n = 0; n < count; ++n) {
    int length;
    while ((length = entry(r, 8)) == 0) {
      ++r;
      if (r >= s) return -1;
    }
    const std::int32_t id = RefI32(d + r + 8 + length);
    bool known = false;
    for (const auto& e : FuzzTable()) {
      if (e.first == id) {
        needs.push_back(e.second);
        known = true;
      }
    }
    if (!known && id >= 67108864) {
      const std::string text = "\?\?\?(" + std::to_string(id) + ")";
      needs.push_back(std::u16string(text.begin(), text.end()));
    }
    r += 16 + static_cast<unsigned long long>(length);
  }
  return 0;
}

// ---- side lists ------------------------------------------------------------

// Lines as the lists are read: LF ends a line and a CR just before it goes;
// a last line without LF counts. (A text holding a NUL is no list at all.)
// The text is the bytes in the ANSI code page or UTF-16 units alike.
template <typename Str>
std::vector<Str> ReferenceLines(const Str& all) {
  std::vector<Str> lines;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t lf = all.find('\n', start);
    Str line = all.substr(start, lf == Str::npos ? Str::npos : lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (lf == Str::npos) break;
    start = lf + 1;
  }
  return lines;
}

template <typename Str>
std::int32_t ReferenceId(const Str& line) {
  std::size_t i = 0;
  while (i < line.size() && line[i] < 0x80 && line[i] != 0 &&
         std::strchr(" \t\r\n\v\f", static_cast<char>(line[i])) != nullptr) {
    ++i;
  }
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  std::string digits;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') digits += static_cast<char>(line[i++]);
  const std::size_t first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? std::string() : digits.substr(first);
  if (digits.size() > 10) return negative ? INT32_MIN : INT32_MAX;
  const long long value = digits.empty() ? 0 : std::stoll(digits);
  if (negative) return value > 2147483648LL ? INT32_MIN : static_cast<std::int32_t>(-value);
  return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

std::string CheckListName(const std::u16string& name, const char* list) {
  if (name.size() >= kMaxPath) return std::string(list) + ": a name of " +
                                       std::to_string(name.size()) + " units";
  if (name.find(u'\n') != std::u16string::npos) return std::string(list) + ": a name holds LF";
  if (name.find(u'\0') != std::u16string::npos) return std::string(list) + ": a name holds NUL";
  return std::string();
}

// A name as a list gives it: ANSI bytes converted one name at a time, UTF-16
// units as they are; false when it does not fit a path.
bool ReferenceName(const std::string& bytes, std::u16string& name) {
  return platform::AnsiToUtf16(bytes.data(), bytes.size(), name);
}
bool ReferenceName(const std::u16string& units, std::u16string& name) {
  name = units;
  return units.size() < kMaxPath;
}

// Both parsers' results against the reference's lines of the decoded text.
// A text holding a NUL is no list: both parsers must say so and add nothing.
template <typename Str>
std::string CompareLists(const Str& text, bool exRead, const NameSet& exList, bool idRead,
                         const IdTable& idTable) {
  const bool nul = text.find(typename Str::value_type(0)) != Str::npos;
  if (exRead == nul) return nul ? "ExList: a text holding a NUL was read" : "ExList: not read";
  if (idRead == nul) return nul ? "IdList: a text holding a NUL was read" : "IdList: not read";
  if (nul) {
    if (exList.Size() != 0 || idTable.Size() != 0) return "a text holding a NUL gave names";
    return std::string();
  }
  ModelSet exModel;
  ModelTable idModel;
  std::size_t linesWithComma = 0;
  std::u16string name;
  for (const Str& line : ReferenceLines(text)) {
    // A name longer than a path can hold is skipped.
    if (ReferenceName(line, name)) exModel.Insert(name);
    const std::size_t comma = line.find(',');
    if (comma == Str::npos) continue;
    ++linesWithComma;
    const std::size_t second = line.find(',', comma + 1);
    const Str field =
        line.substr(comma + 1, second == Str::npos ? Str::npos : second - comma - 1);
    if (ReferenceName(field, name)) idModel.Add(ReferenceId(line), name);
  }

  for (const auto& n : exList) {
    std::string error = CheckListName(n, "ExList");
    if (!error.empty()) return error;
  }
  for (const auto& entry : idModel.Entries()) {
    for (const auto& n : Lookup(idTable, entry.first)) {
      std::string error = CheckListName(n, "IdList");
      if (!error.empty()) return error;
    }
  }
  if (idTable.Size() > linesWithComma) {
    return std::to_string(idTable.Size()) + " id entries from " + std::to_string(linesWithComma) +
           " lines with a comma";
  }
  std::string error = CompareSets(exList, exModel, "ExList");
  if (!error.empty()) return error;
  return CompareTables(idTable, idModel, "IdList");
}

// One reading of the bytes against the reference's result and names.
std::string CheckRead(int result, const NameSet& needs, int expected,
                      const std::vector<std::u16string>& found) {
  if (result != 0 && result != -1) return "result " + std::to_string(result);
  if (result != expected) {
    return "result " + std::to_string(result) + ", expected " + std::to_string(expected);
  }
  if (result != 0) return std::string();

  for (const std::u16string& name : needs) {
    bool known = false;
    for (const auto& entry : FuzzTable()) known = known || entry.second == name;
    if (known) continue;
    // Otherwise it must be a placeholder for an id the table does not hold.
    const std::u16string head = u"\?\?\?(";
    if (name.size() < head.size() + 2 || name.compare(0, head.size(), head) != 0 ||
        name.back() != u')') {
      return "needs holds " + Show(name);
    }
    std::string digits;
    for (std::size_t i = head.size(); i + 1 < name.size(); ++i) {
      if (name[i] < u'0' || name[i] > u'9') return "bad placeholder " + Show(name);
      digits += static_cast<char>(name[i]);
    }
    if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) {
      return "bad placeholder " + Show(name);
    }
    const long long id = std::stoll(digits);
    if (id < 67108864 || id > INT32_MAX) return "placeholder below the range " + Show(name);
    for (const auto& entry : FuzzTable()) {
      if (entry.first == id) return "placeholder for a known id " + Show(name);
    }
  }
  ModelSet model;
  for (const auto& name : found) model.Insert(name);
  return CompareSets(needs, model, "needs");
}

}  // namespace

std::string CheckPreset(const std::uint8_t* data, std::size_t size) {
  static const IdTable table = [] {
    IdTable t;
    for (const auto& entry : FuzzTable()) t.Add(entry.first, entry.second);
    t.Prepare();
    return t;
  }();
  // The same table ranked: the reader then orders a preset's names by their
  // ranks instead of comparing them, as it does for runs with many presets.
  static const IdTable ranked = [] {
    IdTable t = table;
    t.PrepareRanks();
    return t;
  }();
  std::vector<std::u16string> found;
  const int expected = ReferencePreset(data, size, found);
  for (const IdTable* t : {&table, &ranked}) {
    NameSet needs;
    // The reference states its verdict as 0 (a preset) or -1 (not one).
    const int result = ParsePreset(data, size, *t, needs) == PresetParse::kPreset ? 0 : -1;
    const std::string error = CheckRead(result, needs, expected, found);
    if (!error.empty()) return (t == &ranked ? "ranked table: " : "") + error;
  }
  return std::string();
}

std::string CheckSideLists(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const std::string bytes(text, size);
  // The encoding decided under this process's code page and three others,
  // against the plain reading.
  const platform::AnsiCodePage here = platform::AnsiCodePageInfo();
  const platform::AnsiCodePage pages[] = {here, {932, true}, {1252, false}, {65001, false}};
  for (const platform::AnsiCodePage& page : pages) {
    ListText decoded;
    DecodeListText(text, size, page, decoded);
    const test::ReferenceText reference = test::ReferenceDecode(bytes, page);
    const std::string where = " under code page " + std::to_string(page.id);
    if ((decoded.encoding == ListEncoding::kAnsi) != reference.ansi) {
      return std::string(reference.ansi ? "not read as ANSI" : "read as ANSI") + where;
    }
    if (reference.ansi && (decoded.bytes != text || decoded.size != size)) {
      return "the ANSI text is not the bytes" + where;
    }
    if (!reference.ansi && decoded.units != reference.units) {
      return "decoded " + Show(decoded.units) + ", reference " + Show(reference.units) + where;
    }
  }

  NameSet exList;
  const bool exRead = ParseExList(text, size, exList);
  IdTable idTable;
  const bool idRead = ParseIdList(text, size, idTable);
  idTable.Prepare();
  const test::ReferenceText reference = test::ReferenceDecode(bytes, here);
  return reference.ansi ? CompareLists(reference.bytes, exRead, exList, idRead, idTable)
                        : CompareLists(reference.units, exRead, exList, idRead, idTable);
}

std::string CheckSettings(const std::uint8_t* data, std::size_t size) {
  SettingsRecord record;
  // Garbage first: whatever the record held before must not survive.
  std::memset(&record, 0xA5, sizeof record);
  SettingsRecordFromBytes(data, size, record);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
  for (std::size_t i = 0; i < sizeof record; ++i) {
    const bool lastUnit = i % (2 * kMaxPath) >= 2 * kMaxPath - 2;
    const std::uint8_t expected = lastUnit || i >= size ? 0 : data[i];
    if (bytes[i] != expected) {
      return "byte " + std::to_string(i) + " is " + std::to_string(bytes[i]) + ", expected " +
             std::to_string(expected);
    }
  }
  for (int slot = 0; slot < kFolderSlotCount; ++slot) {
    const char16_t* field = record.paths[slot];
    if (std::find(field, field + kMaxPath, u'\0') == field + kMaxPath) {
      return "field " + std::to_string(slot) + " has no terminator";
    }
  }
  return std::string();
}

std::string CheckNames(const std::uint8_t* data, std::size_t size) {
  Cursor in(data, size);
  NameSet sets[2];
  ModelSet models[2];
  IdTable table;
  ModelTable tableModel;
  std::vector<std::u16string> seen;
  std::string error;
  for (int step = 0; in.More() && step < 4096; ++step) {
    const std::uint8_t op = in.Byte();
    const int k = op >> 7;
    switch (op % 8) {
      case 0:
      case 7: {
        std::u16string name = in.Name();
        error = CheckOrder(seen, name);
        if (!error.empty()) return error;
        if (seen.size() < 64) seen.push_back(name);
        models[k].Insert(name);
        if (op % 8 == 0) {
          sets[k].Insert(name);
        } else {
          sets[k].Insert(std::move(name));
        }
        break;
      }
      case 1: {
        const std::u16string name = in.Name();
        if (sets[k].Contains(name) != models[k].Contains(name)) {
          return "Contains(" + Show(name) + ") differs from the model";
        }
        break;
      }
      case 2:
        sets[k].Clear();
        models[k].Clear();
        break;
      case 3: {
        // Copy onto the other set, or onto itself.
        const int to = (op >> 6) & 1;
        sets[to] = sets[k];
        models[to] = models[k];
        break;
      }
      case 4: {
        const std::int32_t id = in.Id();
        const std::u16string name = in.Name();
        table.Add(id, name);
        tableModel.Add(id, name);
        break;
      }
      case 5: {
        const std::int32_t id = in.Id();
        table.Prepare();
        if (Lookup(table, id) != tableModel.Lookup(id)) {
          return "Lookup(" + std::to_string(id) + ") differs from the model";
        }
        break;
      }
      case 6:
        error = CompareSets(sets[k], models[k], "set");
        if (!error.empty()) return error;
        break;
    }
  }
  for (int k = 0; k < 2; ++k) {
    error = CompareSets(sets[k], models[k], k == 0 ? "first set" : "second set");
    if (!error.empty()) return error;
  }
  // Transitivity over every pair of a small enough set.
  for (int k = 0; k < 2; ++k) {
    const auto& names = models[k].Names();
    if (names.size() > 48) continue;
    for (std::size_t i = 0; i < names.size(); ++i) {
      for (std::size_t j = i + 1; j < names.size(); ++j) {
        if (!Less(names[i], names[j])) {
          return "order not transitive: " + Show(names[i]) + " and " + Show(names[j]);
        }
      }
    }
  }
  table.Prepare();
  return CompareTables(table, tableModel, "table");
}

const Target kTargets[4] = {
    {"preset", CheckPreset},
    {"side_lists", CheckSideLists},
    {"settings", CheckSettings},
    {"names", CheckNames},
};

}  // namespace kvo::fuzz
