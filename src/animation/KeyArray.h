// The key array of a track: a growable array of keys in storage from the object pool, used as
// a std::vector of them is, with a bulk append that builds every key in its final place.
//
// The bulk append is why the class exists. A vector appends one key at a time through its end
// pointer, which the compiler must keep in memory between the stores into the key (a key begins
// with its virtual table pointer, a store that may alias that end pointer), and it cannot drop
// the default values a key is constructed with before the loader overwrites them. Here each key
// of an append is constructed and filled in one step of a loop over a local pointer, so the
// defaults the fill overwrites are never stored, and the size is written once at the end.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "foundation/ObjectPool.h"

template <class T>
class CKeyArray {
 public:
  CKeyArray() = default;
  CKeyArray(const CKeyArray&) = delete;
  CKeyArray& operator=(const CKeyArray&) = delete;
  ~CKeyArray() {
    std::destroy(begin(), end());
    NObjectPool::Free(m_data, m_capacity * sizeof(T));
  }

  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  T* data() { return m_data; }
  const T* data() const { return m_data; }
  // index < size(), as for the ones below.
  T& operator[](size_t index) { return m_data[index]; }
  const T& operator[](size_t index) const { return m_data[index]; }
  T& front() { return m_data[0]; }
  const T& front() const { return m_data[0]; }
  T& back() { return m_data[m_size - 1]; }
  const T& back() const { return m_data[m_size - 1]; }
  T* begin() { return m_data; }
  T* end() { return m_data + m_size; }
  const T* begin() const { return m_data; }
  const T* end() const { return m_data + m_size; }

  // Room for count keys in all, exactly that many when it has to grow.
  void reserve(size_t count) {
    if (count > m_capacity) Reallocate(count);
  }
  // Grows as a vector does: exactly from empty, doubling after that.
  template <class... Args>
  T& emplace_back(Args&&... args) {
    if (m_size == m_capacity) Reallocate(m_capacity == 0 ? 1 : 2 * m_capacity);
    T* key = ::new (static_cast<void*>(m_data + m_size)) T(std::forward<Args>(args)...);
    ++m_size;
    return *key;
  }
  // Appends count keys, each default-constructed and then filled by fill(key), in order. fill
  // must not throw: the keys join the array together at the end.
  template <class Fill>
  void Append(size_t count, Fill fill) {
    reserve(m_size + count);
    T* keys = m_data + m_size;
    for (size_t i = 0; i < count; ++i) fill(*::new (static_cast<void*>(keys + i)) T);
    m_size += count;
  }

 private:
  void Reallocate(size_t capacity) {
    T* fresh = static_cast<T*>(NObjectPool::Allocate(capacity * sizeof(T)));
    try {
      std::uninitialized_move(begin(), end(), fresh);
    } catch (...) {
      NObjectPool::Free(fresh, capacity * sizeof(T));
      throw;
    }
    std::destroy(begin(), end());
    NObjectPool::Free(m_data, m_capacity * sizeof(T));
    m_data = fresh;
    m_capacity = capacity;
  }

  T* m_data = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
};
