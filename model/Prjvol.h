#pragma once
// Volume tables: entry i is the whole number of litres at level i centimetres.
// A set holds at most 16, one per measuring channel; an empty table is a gap.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class PARTAB {
 public:
  PARTAB() = default;
  explicit PARTAB(int32_t n) { SetCount(n); }

  int32_t Count() const { return static_cast<int32_t>(v_.size()); }
  // Contents of newly added entries are zero.
  void SetCount(int32_t n) { v_.assign(n > 0 ? static_cast<std::size_t>(n) : 0, 0); }
  void Resize(int32_t n) { v_.resize(n > 0 ? static_cast<std::size_t>(n) : 0, 0); }
  void Clear() { v_.clear(); }
  void Assign(const PARTAB& other) { v_ = other.v_; }
  void Append(int32_t v) { v_.push_back(v); }

  int32_t& operator[](int32_t i) { return v_[static_cast<std::size_t>(i)]; }
  int32_t operator[](int32_t i) const { return v_[static_cast<std::size_t>(i)]; }
  const int32_t* Entries() const { return v_.data(); }
  int32_t* Entries() { return v_.data(); }
  const std::vector<int32_t>& Values() const { return v_; }

  friend bool operator==(const PARTAB& a, const PARTAB& b) { return a.v_ == b.v_; }

 private:
  std::vector<int32_t> v_;
};

class GROUPTAB {
 public:
  static constexpr int kMaxTables = 16;

  GROUPTAB() = default;
  void Clear();
  int32_t Count() const { return count_; }
  PARTAB& Table(int k) { return tables_[static_cast<std::size_t>(k)]; }
  const PARTAB& Table(int k) const { return tables_[static_cast<std::size_t>(k)]; }
  // Both ignore a full set silently: the set keeps its first 16 tables.
  void Add(const PARTAB& t);
  void AddEmpty();

  friend bool operator==(const GROUPTAB& a, const GROUPTAB& b);

 private:
  std::array<PARTAB, kMaxTables> tables_{};
  int32_t count_ = 0;
};
