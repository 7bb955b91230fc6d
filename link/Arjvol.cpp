#include "link/Arjvol.h"

#include <limits>

#include "model/Cp1251.h"

#include "model/Le.h"

namespace {
bool FitsInt16(int64_t v) { return v >= -32768 && v <= 32767; }
bool FitsInt8(int64_t v) { return v >= -128 && v <= 127; }

// The low 16 bits of a value, and a field read back as a signed number.
void PutInt16(uint8_t* p, int64_t v) { tgx::PutLe16(p, static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFF)); }
int16_t GetInt16(const uint8_t* p) { return static_cast<int16_t>(tgx::GetLe16(p)); }

// Entries are 32-bit; running sums are kept wide and cut to 32 bits on store,
// so a hostile image can wrap values but never overflow a signed type.
int32_t Low32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
}  // namespace

int32_t StoredSize(int32_t mode, int32_t n) {
  if (n <= 0) return 0;
  switch (mode) {
    case 0: return n + 2;
    case 1: return 2 * n;
    default: return 0;
  }
}

bool DirectoryIsSane(const TableDirectory& d, int32_t mode) {
  if (mode != 0 && mode != 1) return false;
  if (d.UniqueCount < 0 || d.UniqueCount > 16) return false;
  std::array<bool, 16> used{};
  for (int32_t slot : d.Slots) {
    if (slot < 0 || slot > d.UniqueCount) return false;
    if (slot > 0) used[static_cast<size_t>(slot - 1)] = true;
  }
  int64_t total = 0;
  for (int k = 0; k < d.UniqueCount; ++k) {
    if (!used[static_cast<size_t>(k)]) return false;  // a stored table nobody points to is not there
    const int32_t n = d.Counts[static_cast<size_t>(k)];
    if (n < 1 || n > kMaxUnitImageBytes) return false;
    total += StoredSize(mode, n);
  }
  return total <= kMaxUnitImageBytes;
}

void FTAB::Reset() {
  Errors = 0;
  Directory = TableDirectory{};
  SetSize(0);
}

void FTAB::Pack(const GROUPTAB& set) {
  Reset();
  const int count = set.Count();
  for (int p = 0; p < count; ++p) {
    const PARTAB& t = set.Table(p);
    if (t.Count() == 0) continue;
    int32_t number = 0;
    for (int q = 0; q < p; ++q) {
      if (set.Table(q).Count() != 0 && set.Table(q) == t) {
        number = Directory.Slots[static_cast<size_t>(q)];
        break;
      }
    }
    if (number == 0) {
      number = ++Directory.UniqueCount;
      Directory.Counts[static_cast<size_t>(number - 1)] = t.Count();
    }
    Directory.Slots[static_cast<size_t>(p)] = number;
  }
  SetSizeZeroed(PackedSize());
  int32_t pos = 0;
  for (int k = 0; k < Directory.UniqueCount; ++k) {
    for (int p = 0; p < count; ++p) {
      if (Directory.Slots[static_cast<size_t>(p)] == k + 1) {
        PackOne(pos, Directory.Counts[static_cast<size_t>(k)], set.Table(p));
        break;
      }
    }
  }
}

bool FTAB::Unpack(GROUPTAB& set) const {
  set.Clear();
  const int32_t needed = PackedSize();
  if (Directory.UniqueCount < 0 || Directory.UniqueCount > 16 || needed < 0 || Size() < needed) return false;
  for (int32_t slot : Directory.Slots)
    if (slot < 0 || slot > Directory.UniqueCount) return false;

  int highest = -1;
  for (int p = 0; p < 16; ++p)
    if (Directory.Slots[static_cast<size_t>(p)] != 0) highest = p;
  for (int p = 0; p <= highest; ++p) set.AddEmpty();

  int32_t pos = 0;
  PARTAB scratch;
  for (int k = 0; k < Directory.UniqueCount; ++k) {
    const int32_t n = Directory.Counts[static_cast<size_t>(k)];
    scratch.SetCount(n);
    UnpackOne(pos, n, scratch);
    for (int p = 0; p <= highest; ++p)
      if (Directory.Slots[static_cast<size_t>(p)] == k + 1) set.Table(p).Assign(scratch);
  }
  return true;
}

void FTAB::LoadDirectory(const TableDirectory& in) {
  Directory = in;
  const int32_t n = PackedSize();
  SetSizeZeroed(n > 0 ? n : 0);
}

bool FTAB::Equals(const FTAB& other) const {
  return Directory == other.Directory && static_cast<const DATA&>(*this) == static_cast<const DATA&>(other);
}

void FTAB::Convert(const FTAB& other) {
  GROUPTAB set;
  other.Unpack(set);
  Pack(set);
}

int32_t TArjTab::PackedSize() const {
  int64_t total = 0;
  for (int k = 0; k < Directory.UniqueCount && k < 16; ++k)
    total += StoredSize(Mode, Directory.Counts[static_cast<size_t>(k)]);
  return total > std::numeric_limits<int32_t>::max() ? -1 : static_cast<int32_t>(total);
}

// Mode 0 needs a first difference, so a table of one entry keeps its value in
// the first word and a zero byte after it: the n + 2 sizing that the unit
// walks the image with stays true.
void TArjTab::PackOne(int32_t& pos, int32_t n, const PARTAB& table) {
  const int32_t size = StoredSize(Mode, n);
  if (size == 0) return;
  uint8_t* out = Bytes() + pos;
  bool error = false;
  const int64_t v0 = table[0];
  if (!FitsInt16(v0)) error = true;  // the unit would read back a different first value
  PutInt16(out, v0);
  if (Mode == 0) {
    if (n >= 2) {
      const int64_t d1 = static_cast<int64_t>(table[1]) - table[0];
      if (!FitsInt16(d1)) error = true;
      PutInt16(out + 2, d1);
      for (int32_t i = 2; i < n; ++i) {
        const int64_t dd = (static_cast<int64_t>(table[i]) - table[i - 1]) -
                           (static_cast<int64_t>(table[i - 1]) - table[i - 2]);
        if (!FitsInt8(dd)) error = true;
        out[2 + i] = static_cast<uint8_t>(static_cast<uint64_t>(dd) & 0xFF);
      }
    }
  } else {
    for (int32_t i = 1; i < n; ++i) {
      const int64_t d = static_cast<int64_t>(table[i]) - table[i - 1];
      if (!FitsInt16(d)) error = true;
      PutInt16(out + 2 * i, d);
    }
  }
  if (error) ++Errors;
  pos += size;
}

void TArjTab::UnpackOne(int32_t& pos, int32_t n, PARTAB& table) const {
  const int32_t size = StoredSize(Mode, n);
  if (size == 0) return;
  const uint8_t* in = Bytes() + pos;
  int64_t v = GetInt16(in);
  table[0] = Low32(v);
  if (Mode == 0) {
    if (n >= 2) {
      int64_t d = GetInt16(in + 2);
      v += d;
      table[1] = Low32(v);
      for (int32_t i = 2; i < n; ++i) {
        d += static_cast<int8_t>(in[2 + i]);
        v = static_cast<int64_t>(table[i - 1]) + d;
        table[i] = Low32(v);
      }
    }
  } else {
    for (int32_t i = 1; i < n; ++i) {
      v = static_cast<int64_t>(table[i - 1]) + GetInt16(in + 2 * i);
      table[i] = Low32(v);
    }
  }
  pos += size;
}

namespace {
// The first reason a table does not fit the mode, "" when it fits.
std::string TableMisfit(const PARTAB& t, int32_t mode) {
  using tgx::FromUtf8;
  auto at = [](int32_t level) { return FromUtf8(" на уровне ") + std::to_string(level) + FromUtf8(" см"); };
  const int32_t n = t.Count();
  if (!FitsInt16(t[0])) return FromUtf8("объём ") + std::to_string(t[0]) + FromUtf8(" л") + at(0) +
                               FromUtf8(" не умещается в 16 бит");
  for (int32_t i = 1; i < n; ++i) {
    const int64_t d = static_cast<int64_t>(t[i]) - t[i - 1];
    if ((mode == 1 || i == 1) && !FitsInt16(d))
      return FromUtf8("разность объёмов ") + std::to_string(d) + FromUtf8(" л") + at(i) +
             FromUtf8(" не умещается в 16 бит");
    if (mode == 0 && i >= 2) {
      const int64_t dd = d - (static_cast<int64_t>(t[i - 1]) - t[i - 2]);
      if (!FitsInt8(dd))
        return FromUtf8("вторая разность объёмов ") + std::to_string(dd) + FromUtf8(" л") + at(i) +
               FromUtf8(" вне -128..127");
    }
  }
  return {};
}
}  // namespace

std::string PackFailureText(const GROUPTAB& set, int32_t mode) {
  std::string out;
  for (int p = 0; p < set.Count(); ++p) {
    if (set.Table(p).Count() == 0) continue;
    const std::string why = TableMisfit(set.Table(p), mode);
    if (why.empty()) continue;
    if (!out.empty()) out += '\n';
    out += tgx::FromUtf8("Канал ") + std::to_string(p + 1) + ": " + why;
  }
  return out;
}
