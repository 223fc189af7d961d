#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

namespace qira {

// The pointers that registered with a shared object (its users, the components that
// asked to be told of its freeing), each once, in the order they came.
// Cost: adding, finding and removing one pointer take constant time on average,
// however many are held; a short list is searched as it stands, a longer one
// through an index. Removing leaves a gap that later compaction closes, so the
// order of the others never changes.
template <class T>
class TOrderedPointerSet {
 public:
  size_t Size() const { return live_; }
  bool Empty() const { return live_ == 0; }

  bool Contains(const T* item) const { return item != nullptr && Find(item) != kNone; }

  // Appends item unless it is held already (or null); true when appended.
  bool Add(T* item) {
    if (item == nullptr || Find(item) != kNone) return false;
    slots_.push_back(item);
    ++live_;
    if (!where_.empty() || slots_.size() > kSearchedAsItStands) Index(slots_.size() - 1);
    return true;
  }

  // Takes item out; true when it was held.
  bool Remove(const T* item) {
    const size_t at = item != nullptr ? Find(item) : kNone;
    if (at == kNone) return false;
    slots_[at] = nullptr;
    where_.erase(item);
    --live_;
    TrimBack();
    if (slots_.size() - live_ > live_ + kSearchedAsItStands) Compact();
    return true;
  }

  // The last one held; null when none is.
  T* Last() const { return slots_.empty() ? nullptr : slots_.back(); }

  // The last one held, taken out; null when none is.
  T* TakeLast() {
    if (slots_.empty()) return nullptr;
    T* last = slots_.back();  // never a gap: gaps at the back are trimmed
    slots_.pop_back();
    where_.erase(last);
    --live_;
    TrimBack();
    return last;
  }

  // Those held, in the order they came.
  std::vector<T*> Items() const {
    std::vector<T*> items;
    items.reserve(live_);
    for (T* item : slots_)
      if (item != nullptr) items.push_back(item);
    return items;
  }

  void Clear() {
    slots_.clear();
    where_.clear();
    live_ = 0;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  static constexpr size_t kSearchedAsItStands = 16;

  size_t Find(const T* item) const {
    if (where_.empty()) {
      for (size_t i = slots_.size(); i-- > 0;)
        if (slots_[i] == item) return i;
      return kNone;
    }
    const auto found = where_.find(item);
    return found == where_.end() ? kNone : found->second;
  }

  // Builds the index when the list first outgrows a plain search, then keeps it.
  void Index(size_t added) {
    if (where_.empty()) {
      for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i] != nullptr) where_[slots_[i]] = i;
    } else {
      where_[slots_[added]] = added;
    }
  }

  void TrimBack() {
    while (!slots_.empty() && slots_.back() == nullptr) slots_.pop_back();
  }

  void Compact() {
    std::vector<T*> items = Items();
    slots_ = std::move(items);
    where_.clear();
    if (slots_.size() > kSearchedAsItStands)
      for (size_t i = 0; i < slots_.size(); ++i) where_[slots_[i]] = i;
  }

  std::vector<T*> slots_;  // null where one was removed
  std::unordered_map<const T*, size_t> where_;  // empty while the list is short
  size_t live_ = 0;
};

}  // namespace qira
