#pragma once
// Byte buffer, binary byte stream, millisecond stopwatch and hex dump: the
// small building blocks that the tables, the link and the configuration file
// are made of.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// Growable byte buffer. `SetSize` never keeps the contents when it has to
// reallocate (callers fill the buffer right after); `Append` always keeps them.
// Fresh allocations are zeroed, so "undefined" contents are at least defined.
class DATA {
 public:
  DATA() = default;
  DATA(const DATA&) = delete;
  DATA& operator=(const DATA&) = delete;
  DATA(DATA&&) noexcept = default;
  DATA& operator=(DATA&&) noexcept = default;
  ~DATA() = default;

  void Release();
  void SetSize(int32_t n);
  void SetSizeZeroed(int32_t n);
  void Assign(const void* src, int32_t n);
  void Append(const void* src, int32_t n);
  void AppendByte(uint8_t b) { Append(&b, 1); }

  int32_t Size() const { return size_; }
  int32_t Capacity() const { return capacity_; }
  uint8_t* Bytes() { return data_.get(); }
  const uint8_t* Bytes() const { return data_.get(); }
  uint8_t& operator[](int32_t i) { return data_[static_cast<size_t>(i)]; }
  uint8_t operator[](int32_t i) const { return data_[static_cast<size_t>(i)]; }

  friend bool operator==(const DATA& a, const DATA& b);

 private:
  int32_t capacity_ = 0;
  std::unique_ptr<uint8_t[]> data_;
  int32_t size_ = 0;
};

// "%2x " per byte with upper-case digits: 05 AB 10 -> " 5 AB 10 ".
std::string HexDump(const uint8_t* bytes, size_t n);
inline std::string HexDump(const DATA& d) { return HexDump(d.Bytes(), static_cast<size_t>(d.Size())); }

// Raised by a stream that cannot move all the bytes asked for, and by the
// readers below when a stored length is impossible for the source.
struct StreamError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Abstract byte sink and source with one fixed binary layout: 32-bit integers
// little-endian, strings as a 32-bit length followed by their bytes.
class pstream {
 public:
  virtual ~pstream() = default;
  virtual void write(const void* bytes, size_t n) = 0;
  virtual void read(void* bytes, size_t n) = 0;
  // Bytes that a read can still deliver; a stored length is checked against
  // it before anything is allocated. -1 when the source cannot tell: the
  // bytes are then read in bounded pieces, so memory grows only with the
  // bytes that really come.
  virtual int64_t available() const { return -1; }

  pstream& operator<<(int32_t v);
  pstream& operator<<(uint32_t v) { return *this << static_cast<int32_t>(v); }
  pstream& operator<<(uint8_t b);
  pstream& operator<<(const std::string& s);

  pstream& operator>>(int32_t& v);
  pstream& operator>>(uint32_t& v);
  pstream& operator>>(uint8_t& b);
  pstream& operator>>(DATA& d);
  pstream& operator>>(std::string& s);

 private:
  int32_t ReadLength();
  std::string ReadBytes(int32_t n);
};

// A pstream over memory, used by tests and by anything that builds a byte
// image before writing it in one piece.
class MemoryStream : public pstream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
  void write(const void* bytes, size_t n) override;
  void read(void* bytes, size_t n) override;
  int64_t available() const override { return static_cast<int64_t>(bytes_.size() - pos_); }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  size_t pos_ = 0;
};

// Millisecond tick counter, 32 bits, wrapping; monotonic. Tests may replace
// the source to walk across the wrap.
uint32_t TickCount();
void SetTickSourceForTest(uint32_t (*source)());

// Millisecond stopwatch; all arithmetic modulo 2^32.
class TIMER {
 public:
  explicit TIMER(uint32_t interval = 0) { Start(interval); }
  void Start(uint32_t interval) {
    interval_ = interval;
    Restart();
  }
  void Restart() { deadline_ = TickCount() + interval_; }
  uint32_t Elapsed() const { return TickCount() - (deadline_ - interval_); }

 private:
  uint32_t interval_ = 0;
  uint32_t deadline_ = 0;
};
