#pragma once

#include <cstddef>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zelvora {

/// A map that iterates in insertion order, with hashed lookup. Assigning to a key that is
/// already present replaces its value in place, keeping its position.
template <class Key, class Value>
class OrderedMap {
 public:
  using Entry = std::pair<Key, Value>;
  using const_iterator = typename std::vector<Entry>::const_iterator;

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  const Entry& front() const { return entries_.front(); }

  bool contains(const Key& key) const { return index_.count(key) != 0; }
  /// The value under `key`, or nullptr.
  const Value* find(const Key& key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[it->second].second;
  }

  /// Room for `count` entries: inserting up to it never moves the entries or rehashes.
  void reserve(std::size_t count) {
    entries_.reserve(count);
    index_.reserve(count);
  }

  void insertOrAssign(Key key, Value value) {
    auto it = index_.find(key);
    if (it != index_.end()) {
      entries_[it->second].second = std::move(value);
      return;
    }
    index_.emplace(key, entries_.size());
    entries_.emplace_back(std::move(key), std::move(value));
  }

  void clear() {
    index_.clear();
    entries_.clear();
  }

  std::vector<Key> keys() const {
    std::vector<Key> result;
    result.reserve(entries_.size());
    for (const auto& entry : entries_) result.push_back(entry.first);
    return result;
  }

 private:
  std::vector<Entry> entries_;
  std::unordered_map<Key, std::size_t> index_;
};

}  // namespace zelvora
