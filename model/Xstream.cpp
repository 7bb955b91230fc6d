#include "model/Xstream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {
constexpr int32_t kSpareBytes = 100;  // growth step of both resize paths
// Stored strings are read in pieces of at most this many bytes.
constexpr size_t kReadPiece = 64 * 1024;
}  // namespace

void DATA::Release() {
  data_.reset();
  capacity_ = 0;
  size_ = 0;
}

void DATA::SetSize(int32_t n) {
  if (n < 0) n = 0;
  if (n > size_ && n > capacity_) {
    data_.reset();  // old contents are not kept on this path
    capacity_ = 0;
    data_ = std::make_unique<uint8_t[]>(static_cast<size_t>(n) + kSpareBytes);
    capacity_ = n + kSpareBytes;
  }
  size_ = n;
}

void DATA::SetSizeZeroed(int32_t n) {
  SetSize(n);
  if (size_ > 0) std::memset(data_.get(), 0, static_cast<size_t>(size_));
}

void DATA::Assign(const void* src, int32_t n) {
  SetSize(n);
  if (size_ != 0) std::memcpy(data_.get(), src, static_cast<size_t>(size_));
}

void DATA::Append(const void* src, int32_t n) {
  if (n <= 0) return;
  if (size_ + n > capacity_) {
    const int32_t grown = size_ + n + kSpareBytes;
    auto bigger = std::make_unique<uint8_t[]>(static_cast<size_t>(grown));
    if (capacity_ > 0) std::memcpy(bigger.get(), data_.get(), static_cast<size_t>(capacity_));
    data_ = std::move(bigger);
    capacity_ = grown;
  }
  std::memcpy(data_.get() + size_, src, static_cast<size_t>(n));
  size_ += n;
}

bool operator==(const DATA& a, const DATA& b) {
  if (a.size_ != b.size_) return false;
  return a.size_ == 0 || std::memcmp(a.data_.get(), b.data_.get(), static_cast<size_t>(a.size_)) == 0;
}

std::string HexDump(const uint8_t* bytes, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    out += b >= 16 ? kDigits[b >> 4] : ' ';
    out += kDigits[b & 15];
    out += ' ';
  }
  return out;
}

pstream& pstream::operator<<(int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  const uint8_t b[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                        static_cast<uint8_t>(u >> 24)};
  write(b, 4);
  return *this;
}

pstream& pstream::operator<<(uint8_t b) {
  write(&b, 1);
  return *this;
}

pstream& pstream::operator<<(const std::string& s) {
  *this << static_cast<int32_t>(s.size());
  if (!s.empty()) write(s.data(), s.size());
  return *this;
}

pstream& pstream::operator>>(int32_t& v) {
  uint32_t u = 0;
  *this >> u;
  v = static_cast<int32_t>(u);
  return *this;
}

pstream& pstream::operator>>(uint32_t& v) {
  uint8_t b[4];
  read(b, 4);
  v = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
      static_cast<uint32_t>(b[3]) << 24;
  return *this;
}

pstream& pstream::operator>>(uint8_t& b) {
  read(&b, 1);
  return *this;
}

int32_t pstream::ReadLength() {
  int32_t n = 0;
  *this >> n;
  // A stored length is never trusted: it must fit what the source still holds.
  const int64_t left = available();
  if (n < 0 || (left >= 0 && n > left)) throw StreamError("stored length exceeds the source");
  return n;
}

std::string pstream::ReadBytes(int32_t n) {
  // Piece by piece, so that the string grows only as fast as bytes really
  // arrive: a damaged length from a source that cannot tell its size ends in
  // a short read, not in a gigabyte allocated up front.
  std::string bytes;
  const size_t want = static_cast<size_t>(n);
  while (bytes.size() < want) {
    const size_t done = bytes.size();
    const size_t piece = std::min(kReadPiece, want - done);
    bytes.resize(done + piece);
    read(bytes.data() + done, piece);
  }
  return bytes;
}

pstream& pstream::operator>>(DATA& d) {
  const std::string bytes = ReadBytes(ReadLength());
  d.Assign(bytes.data(), static_cast<int32_t>(bytes.size()));
  return *this;
}

pstream& pstream::operator>>(std::string& s) {
  s = ReadBytes(ReadLength());
  return *this;
}

void MemoryStream::write(const void* bytes, size_t n) { bytes_.append(static_cast<const char*>(bytes), n); }

void MemoryStream::read(void* bytes, size_t n) {
  if (bytes_.size() - pos_ < n) throw StreamError("short read");
  std::memcpy(bytes, bytes_.data() + pos_, n);
  pos_ += n;
}

namespace {
uint32_t SteadyTicks() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
uint32_t (*g_tick_source)() = &SteadyTicks;
}  // namespace

uint32_t TickCount() { return g_tick_source(); }
void SetTickSourceForTest(uint32_t (*source)()) { g_tick_source = source ? source : &SteadyTicks; }
