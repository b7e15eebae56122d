// What the lane benchmark's translation units share: the inputs, the timing
// plan and the raw round timings of each operation. Plain data only, so the
// lane units can include it before its instruction-set region without
// pulling in any code that would then be compiled twice for two targets.
#pragma once

#include <cstdint>

#include "group/scalar.hpp"

namespace veltrane::bench {

inline constexpr int kMaxRounds = 64;
// Lane points per compress_many call: the most one shared inversion serves.
inline constexpr int kCompressGroups = 16;

enum Op : int {
  kFieldMul,
  kFieldSquare,
  kFieldAdd,
  kInvert,
  kDecompress,
  kCompress,
  kMulPoint,
  kMulFixed,
  kRepresentativeToPoint,
  kHasRepresentative,
  kPointToRepresentative,
  kOpCount
};

// Inputs for up to eight lanes; a one-item field reads lane 0 of each.
struct BenchInputs {
  std::uint8_t field_bytes[8][32];
  std::uint8_t point_bytes[kCompressGroups][8][32];  // valid point encodings
  std::uint8_t representatives[8][32];
  group::Scalar scalars[8];
};

struct TimingPlan {
  int rounds;       // at most kMaxRounds
  double round_ns;  // length of one round
};

// ns per call in each round, and the items one call handles.
struct OpTiming {
  double ns_per_call[kMaxRounds];
  int rounds;
  int items_per_call;
};

struct FieldTimings {
  OpTiming op[kOpCount];
};

// Monotonic clock in ns; defined in the baseline unit, called once per round.
double now_ns();

// Each fills `out` and returns true when this processor runs those lanes;
// returns false (out untouched) otherwise.
bool time_ifma_lanes(const BenchInputs& in, const TimingPlan& plan, FieldTimings& out);
bool time_avx512f_lanes(const BenchInputs& in, const TimingPlan& plan, FieldTimings& out);
bool time_avx2_lanes(const BenchInputs& in, const TimingPlan& plan, FieldTimings& out);

}  // namespace veltrane::bench
