// A value that holds secret material and is wiped when it goes out of scope,
// with a wipe the compiler cannot drop as a dead store.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace veltrane {

inline void secure_wipe(void* data, std::size_t size) noexcept {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) p[i] = 0;
  // The asm barrier keeps the stores ordered before any later reuse.
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

template <class T>
class Secret {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  explicit Secret(const T& value) : value_(value) {}
  ~Secret() { secure_wipe(&value_, sizeof value_); }
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;

  const T& get() const noexcept { return value_; }
  T& get() noexcept { return value_; }

 private:
  T value_;
};

// Wipes a buffer's contents (a secret-key argument, say) when it goes out of scope.
template <class Buffer>
class WipeOnExit {
 public:
  explicit WipeOnExit(Buffer& buffer) noexcept : buffer_(buffer) {}
  ~WipeOnExit() { secure_wipe(buffer_.data(), buffer_.size() * sizeof(*buffer_.data())); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  Buffer& buffer_;
};

}  // namespace veltrane
