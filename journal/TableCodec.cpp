#include "journal/TableCodec.h"

#include <array>
#include <limits>

namespace tgx {
namespace {

constexpr int kMaxVarintBytes = 10;  // 64 bits, 7 a byte

void PutVarint(std::string& out, uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

uint64_t ZigZag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t UnZigZag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

class Reader {
 public:
  explicit Reader(std::string_view bytes) : p_(bytes.data()), end_(bytes.data() + bytes.size()) {}

  std::optional<uint64_t> Varint() {
    uint64_t v = 0;
    for (int i = 0; i < kMaxVarintBytes; ++i) {
      if (p_ == end_) return std::nullopt;
      const auto b = static_cast<uint8_t>(*p_++);
      // The tenth byte may only carry the 64th bit.
      if (i == kMaxVarintBytes - 1 && b > 1) return std::nullopt;
      v |= static_cast<uint64_t>(b & 0x7F) << (7 * i);
      if ((b & 0x80) == 0) return v;
    }
    return std::nullopt;
  }
  std::optional<uint8_t> Byte() {
    if (p_ == end_) return std::nullopt;
    return static_cast<uint8_t>(*p_++);
  }
  std::size_t Left() const { return static_cast<std::size_t>(end_ - p_); }

 private:
  const char* p_;
  const char* end_;
};

}  // namespace

std::string EncodeTables(const GROUPTAB& tables) {
  std::size_t entries = 0;
  for (int k = 0; k < tables.Count(); ++k) entries += static_cast<std::size_t>(tables.Table(k).Count());
  std::string out;
  out.reserve(2 + 3 * static_cast<std::size_t>(tables.Count()) + entries + entries / 4);
  out.push_back(static_cast<char>(kTableSetFormat));
  PutVarint(out, static_cast<uint64_t>(tables.Count()));
  for (int k = 0; k < tables.Count(); ++k) {
    const PARTAB& t = tables.Table(k);
    PutVarint(out, static_cast<uint64_t>(t.Count()));
    int64_t before = 0, last = 0;  // entries i-2 and i-1
    for (int32_t v : t.Values()) {
      // Fits 64 bits easily: |v - 2 last + before| < 2^34.
      PutVarint(out, ZigZag(v - 2 * last + before));
      before = last;
      last = v;
    }
  }
  return out;
}

std::optional<GROUPTAB> DecodeTables(std::string_view bytes) {
  Reader in(bytes);
  const auto format = in.Byte();
  if (!format || *format != kTableSetFormat) return std::nullopt;
  const auto count = in.Varint();
  if (!count || *count > static_cast<uint64_t>(GROUPTAB::kMaxTables)) return std::nullopt;
  GROUPTAB set;
  for (uint64_t k = 0; k < *count; ++k) {
    const auto n = in.Varint();
    // Every entry takes at least one byte: a larger count is damage, and is
    // refused before anything is allocated for it.
    if (!n || *n > in.Left() || *n > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return std::nullopt;
    PARTAB t(static_cast<int32_t>(*n));
    int64_t before = 0, last = 0;
    for (uint64_t i = 0; i < *n; ++i) {
      const auto d = in.Varint();
      if (!d) return std::nullopt;
      // Differences of damaged bytes can be anything: keep the sum in range
      // before it is formed, so that nothing overflows.
      const int64_t delta = UnZigZag(*d);
      const int64_t base = 2 * last - before;  // |base| < 2^33
      if (delta > (int64_t{1} << 40) || delta < -(int64_t{1} << 40)) return std::nullopt;
      const int64_t v = base + delta;
      if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return std::nullopt;
      t[static_cast<int32_t>(i)] = static_cast<int32_t>(v);
      before = last;
      last = v;
    }
    set.Add(t);
  }
  if (in.Left() != 0) return std::nullopt;
  return set;
}

namespace {
constexpr uint64_t kCrc64Poly = 0xC96C5795D7870F42ull;  // ECMA-182, reflected

constexpr std::array<uint64_t, 256> MakeCrcTable() {
  std::array<uint64_t, 256> table{};
  for (uint64_t i = 0; i < 256; ++i) {
    uint64_t c = i;
    for (int b = 0; b < 8; ++b) c = (c & 1) ? (c >> 1) ^ kCrc64Poly : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint64_t, 256> kCrcTable = MakeCrcTable();
}  // namespace

uint64_t Checksum64(std::string_view bytes) {
  uint64_t crc = ~uint64_t{0};
  for (char ch : bytes) crc = kCrcTable[(crc ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace tgx
