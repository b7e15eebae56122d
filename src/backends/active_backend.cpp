// The process-wide backend choice, made once from VELTRANE_BACKEND:
//
//   auto (or unset, or empty)  the fastest this processor runs: the IFMA
//                              lanes, else the AVX-512F lanes, else the
//                              AVX2 lanes, else the one-item field
//   scalar                     the one-item field
//   ifma, avx512f, avx2        those lanes; an error where they cannot run
//   portable, portable25       the emulated radix-2^51 and radix-2^25.5
//                              lanes, for tests (slow)
#include <cstdlib>
#include <string>

#include "backends/backend.hpp"
#include "common/fatal_error.hpp"

namespace veltrane::backends {

namespace {

struct Choice {
  const Backend* backend;  // null: `error` says why
  std::string error;
};

struct Native {
  const char* value;
  const char* instructions;
  const Backend* (*backend)();
};

constexpr Native kNative[] = {
    {"ifma", "AVX-512F and AVX-512 IFMA", &ifma_lanes_backend},
    {"avx512f", "AVX-512F", &avx512f_lanes_backend},
    {"avx2", "AVX2", &avx2_lanes_backend},
};

Choice choose() {
  const char* value = std::getenv("VELTRANE_BACKEND");
  const std::string v = value ? value : "";
  if (v.empty() || v == "auto") {
    for (const Native& native : kNative) {
      if (const Backend* b = native.backend()) return {b, ""};
    }
    return {&scalar_backend(), ""};
  }
  if (v == "scalar") return {&scalar_backend(), ""};
  if (v == "portable") return {&portable_lanes_backend(), ""};
  if (v == "portable25") return {&portable25_lanes_backend(), ""};
  for (const Native& native : kNative) {
    if (v != native.value) continue;
    if (const Backend* b = native.backend()) return {b, ""};
    return {nullptr, "VELTRANE_BACKEND is \"" + v + "\", but this processor (or its operating "
                     "system) cannot run " + native.instructions};
  }
  return {nullptr,
          "VELTRANE_BACKEND must be auto, scalar, ifma, avx512f or avx2 (or portable or "
          "portable25, for testing), not \"" + v + "\""};
}

}  // namespace

const Backend& active_backend() {
  static const Choice choice = choose();
  if (!choice.backend) fatal(choice.error);
  return *choice.backend;
}

}  // namespace veltrane::backends
