// Per-address tables whose memory comes from calloc. A large calloc is served
// by fresh zero pages that the kernel maps only when first touched, and the
// array does not write its elements again, so the pages of a table that an
// analysis never reaches cost no page fault at all. For a short-lived process
// (one brevin-cli run) that is a good part of its time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>

namespace brevin {

// A fixed-size array of trivial values whose memory comes from calloc and is
// freed whole, without a loop over its elements (a vector with its own
// allocator destroys them one by one, which the fuzzers' instrumented builds
// pay for on every input).
template <class T>
class ZeroedArray {
  static_assert(std::is_trivial_v<T>, "calloc's zero bytes are the value only of trivial types");

 public:
  explicit ZeroedArray(std::size_t size) : data_(static_cast<T*>(std::calloc(size, sizeof(T)))), size_(size) {
    if (data_ == nullptr) throw std::bad_alloc();
  }

  T& operator[](std::size_t i) { return data_.get()[i]; }
  const T& operator[](std::size_t i) const { return data_.get()[i]; }
  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  T* begin() { return data_.get(); }
  T* end() { return data_.get() + size_; }
  const T* begin() const { return data_.get(); }
  const T* end() const { return data_.get() + size_; }
  std::size_t size() const { return size_; }

 private:
  struct Free {
    void operator()(T* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<T, Free> data_;
  std::size_t size_;
};

using ZeroedTable = ZeroedArray<std::int32_t>;
using ZeroedCells = ZeroedArray<std::uint32_t>;

}  // namespace brevin
