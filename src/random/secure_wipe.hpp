// Erasing key material in a way the optimiser may not drop as a dead store.
#pragma once

#include <cstddef>
#include <string.h>  // explicit_bzero (glibc)

namespace veltrane::random {

inline void secure_wipe(void* data, std::size_t size) noexcept { ::explicit_bzero(data, size); }

template <class T>
inline void secure_wipe(T& object) noexcept {
  secure_wipe(&object, sizeof(T));
}

}  // namespace veltrane::random
