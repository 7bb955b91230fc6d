#include "model/Prjvol.h"

void GROUPTAB::Clear() {
  count_ = 0;
  for (auto& t : tables_) t.Clear();
}

void GROUPTAB::Add(const PARTAB& t) {
  if (count_ >= kMaxTables) return;
  tables_[static_cast<std::size_t>(count_)].Assign(t);
  ++count_;
}

void GROUPTAB::AddEmpty() {
  if (count_ >= kMaxTables) return;
  tables_[static_cast<std::size_t>(count_)].Clear();
  ++count_;
}

bool operator==(const GROUPTAB& a, const GROUPTAB& b) {
  if (a.count_ != b.count_) return false;
  for (int k = 0; k < a.count_; ++k)
    if (!(a.tables_[static_cast<std::size_t>(k)] == b.tables_[static_cast<std::size_t>(k)])) return false;
  return true;
}
