#pragma once
// Brackets a region of a unit that is compiled for AVX-512F and AVX-512 IFMA:
//
//   #include "group/lanes/ifma_target.hpp"
//   VELTRANE_IFMA_TARGET_BEGIN
//   #include "group/lanes/ifma_u64x8.hpp"  ... the IFMA instantiations ...
//   VELTRANE_IFMA_TARGET_END
//
// Everything included before the region is compiled for the baseline
// processor. GCC takes the target from its push_options pragma; clang ignores
// that pragma and takes the same target as an attribute on every function the
// region declares. GCC 12's AVX-512 headers start some intrinsics from an
// undefined register and then warn about it; the warning is about the headers,
// so it is silenced inside the region only.
#if defined(__clang__)
// _Pragma takes one string literal, so the push stays on one line.
// clang-format off
#define VELTRANE_IFMA_TARGET_BEGIN \
  _Pragma("clang attribute push(__attribute__((target(\"avx512f,avx512ifma\"))), apply_to = function)")
// clang-format on
#define VELTRANE_IFMA_TARGET_END _Pragma("clang attribute pop")
#else
#define VELTRANE_IFMA_TARGET_BEGIN                     \
  _Pragma("GCC push_options")                          \
  _Pragma("GCC target(\"avx512f,avx512ifma\")")        \
  _Pragma("GCC diagnostic push")                       \
  _Pragma("GCC diagnostic ignored \"-Wuninitialized\"") \
  _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#define VELTRANE_IFMA_TARGET_END _Pragma("GCC diagnostic pop") _Pragma("GCC pop_options")
#endif
