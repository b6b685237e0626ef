// Per-address tables whose memory comes from calloc. A large calloc is served
// by fresh zero pages that the kernel maps only when first touched, and the
// vector does not write its value-initialised elements again, so the pages of
// a table that an analysis never reaches cost no page fault at all. For a
// short-lived process (one brevin-cli run) that is a good part of its time.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <vector>

namespace brevin {

template <class T>
struct ZeroedAllocator {
  static_assert(std::is_trivial_v<T>, "calloc's zero bytes are the value only of trivial types");
  using value_type = T;

  ZeroedAllocator() = default;
  template <class U>
  ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    void* memory = std::calloc(n, sizeof(T));
    if (memory == nullptr) throw std::bad_alloc();
    return static_cast<T*>(memory);
  }
  void deallocate(T* p, std::size_t) noexcept { std::free(p); }

  // Value-initialisation leaves calloc's zero bytes as they are; calloc
  // creates the trivial objects implicitly, with those bytes as their value.
  template <class U>
  void construct(U*) noexcept {}
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  template <class U>
  bool operator==(const ZeroedAllocator<U>&) const noexcept {
    return true;
  }
};

using ZeroedTable = std::vector<std::int32_t, ZeroedAllocator<std::int32_t>>;
using ZeroedCells = std::vector<std::uint32_t, ZeroedAllocator<std::uint32_t>>;

}  // namespace brevin
