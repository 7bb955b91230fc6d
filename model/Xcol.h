#pragma once
// Owning list of items with hooks for freeing, reading and writing them; a
// derived collection decides how its items are built from and put to a stream.

#include <memory>
#include <vector>

#include "model/Xstream.h"

template <typename T>
class TXCollection {
 public:
  TXCollection() = default;
  TXCollection(const TXCollection&) = delete;
  TXCollection& operator=(const TXCollection&) = delete;
  virtual ~TXCollection() = default;  // items are unique_ptrs: freed once each

  int Count() const { return static_cast<int>(items_.size()); }
  T* Item(int index) const { return items_[static_cast<size_t>(index)].get(); }
  void Add(std::unique_ptr<T> item) { items_.push_back(std::move(item)); }
  void Clear() {
    for (int i = 0; i < Count(); ++i) FreeItem(i);
    items_.clear();
  }
  void RemoveAt(int index) {
    FreeItem(index);
    items_.erase(items_.begin() + index);
  }

  virtual void Load(pstream& s) {
    int32_t n = 0;
    s >> n;
    Clear();
    for (int32_t i = 0; i < n; ++i) {
      auto item = CreateItem(i, s);
      if (!item) break;  // a collection that cannot read items stops here
      Add(std::move(item));
    }
  }
  virtual void Save(pstream& s) const {
    s << static_cast<int32_t>(Count());
    for (int i = 0; i < Count(); ++i) WriteItem(i, s, *Item(i));
  }

 protected:
  // Destroys the item at the index; the default releases its storage.
  virtual void FreeItem(int index) { items_[static_cast<size_t>(index)].reset(); }
  virtual std::unique_ptr<T> CreateItem(int /*index*/, pstream& /*s*/) { return nullptr; }
  virtual void WriteItem(int /*index*/, pstream& /*s*/, const T& /*item*/) const {}

 private:
  std::vector<std::unique_ptr<T>> items_;
};
