#pragma once
// Brackets a region of a unit that is compiled for an instruction set the
// baseline processor may lack:
//
//   #include "group/lanes/target_region.hpp"
//   VELTRANE_AVX2_TARGET_BEGIN
//   #include "group/lanes/avx2_u64x4.hpp"  ... the AVX2 instantiations ...
//   VELTRANE_TARGET_END
//
// Everything included before the region is compiled for the baseline
// processor. GCC takes the target from its push_options pragma; clang ignores
// that pragma and takes the same target as an attribute on every function the
// region declares. GCC 12's AVX-512 headers start some intrinsics from an
// undefined register and then warn about it; the warning is about the headers,
// so it is silenced inside the region only.
#define VELTRANE_PRAGMA(...) _Pragma(#__VA_ARGS__)

#if defined(__clang__)
#define VELTRANE_TARGET_BEGIN(isa) \
  VELTRANE_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define VELTRANE_TARGET_END _Pragma("clang attribute pop")
#else
#define VELTRANE_TARGET_BEGIN(isa)                      \
  _Pragma("GCC push_options")                           \
  VELTRANE_PRAGMA(GCC target(isa))                      \
  _Pragma("GCC diagnostic push")                        \
  _Pragma("GCC diagnostic ignored \"-Wuninitialized\"") \
  _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#define VELTRANE_TARGET_END _Pragma("GCC diagnostic pop") _Pragma("GCC pop_options")
#endif

#define VELTRANE_IFMA_TARGET_BEGIN VELTRANE_TARGET_BEGIN("avx512f,avx512ifma")
#define VELTRANE_AVX512F_TARGET_BEGIN VELTRANE_TARGET_BEGIN("avx512f")
#define VELTRANE_AVX2_TARGET_BEGIN VELTRANE_TARGET_BEGIN("avx2")
