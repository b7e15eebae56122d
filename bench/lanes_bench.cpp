// Cost per item of the field and curve operations on each field backend: the
// one-item field, the native lanes this processor runs (AVX-512 IFMA,
// AVX-512F and AVX2) and the portable emulations of both lane fields, in ns
// and in L, where L is one
// libsodium crypto_scalarmult_ed25519_noclamp timed in the same run. Every
// figure is the median of several rounds, so a burst of load from another
// process moves a round or two and not the figure.
//
//   lanes_bench [--rounds N] [--round-ms MS]
#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "backends/backend.hpp"
#include "group/edwards.hpp"
#include "group/scalar_field.hpp"
#include "group/lanes/cpu_features.hpp"
#include "group/lanes/lane_field.hpp"
#include "group/lanes/lane_field25.hpp"
#include "group/lanes/portable_u64xn.hpp"
#include "lanes_bench.hpp"
#include "lanes_suite.hpp"

namespace veltrane::bench {

double now_ns() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

}  // namespace veltrane::bench

namespace {

using namespace veltrane;
using namespace veltrane::bench;
using PortableField = group::lanes::LaneField<group::lanes::PortableU64x8>;
using Portable25Field = group::lanes::LaneField25<group::lanes::PortableU64xN<8>>;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double median_per_item(const OpTiming& t) {
  std::vector<double> v(t.ns_per_call, t.ns_per_call + t.rounds);
  return median(v) / t.items_per_call;
}

// Round timings of one libsodium variable-base multiplication (ns per call).
std::vector<double> time_sodium(const TimingPlan& plan, std::uint8_t scalar[32],
                                const std::uint8_t point[32]) {
  std::uint8_t out[32];
  auto call = [&] {
    if (crypto_scalarmult_ed25519_noclamp(out, scalar, point) != 0) out[0] = 0;
    scalar[0] ^= out[0];  // a dependency on the result: every call is done
    scalar[31] &= 0x7f;
  };
  for (int i = 0; i < 20; ++i) call();
  long calls = static_cast<long>(plan.round_ns / 50000) + 1;
  std::vector<double> rounds;
  for (int r = 0; r < plan.rounds; ++r) {
    const double start = now_ns();
    for (long i = 0; i < calls; ++i) call();
    const double per = (now_ns() - start) / static_cast<double>(calls);
    rounds.push_back(per);
    calls = static_cast<long>(plan.round_ns / per) + 1;
  }
  return rounds;
}

struct OpInfo {
  const char* name;
  const char* unit;
  double target;  // in L per item; 0: none
};

constexpr OpInfo kOps[kOpCount] = {
    {"field mul", "element", 0},
    {"field square", "element", 0},
    {"field add (with carry)", "element", 0},
    {"invert", "element", 0},
    {"decompress", "point", 0.012},
    {"compress (16 lane-points)", "point", 0.005},
    {"mul_point", "point", 0.08},
    {"mul_fixed (base table)", "point", 0.04},
    {"representative_to_point", "rep", 0.03},
    {"has_representative", "point", 0},
    {"point_to_representative", "point", 0},
};

// One backend's table: ns and L per item, the ratio to the one-item field,
// and (for the backend auto takes) the targets.
void print_table(const char* title, const FieldTimings& t, const FieldTimings& scalar, double L,
                 bool targets) {
  std::printf("\n%s\n", title);
  std::printf("%-26s %-7s | %10s %8s | %8s %-5s | %9s\n", "operation", "item", "ns", "L",
              "target L", "met", "speed-up");
  for (int op = 0; op < kOpCount; ++op) {
    const double s = median_per_item(scalar.op[op]);
    const double v = median_per_item(t.op[op]);
    char target[16] = "-";
    const char* met = "";
    if (targets && kOps[op].target > 0) {
      std::snprintf(target, sizeof target, "<=%.3f", kOps[op].target);
      met = v / L <= kOps[op].target ? "yes" : "NO";
    }
    std::printf("%-26s %-7s | %10.1f %8.4f | %8s %-5s | %8.2fx\n", kOps[op].name, kOps[op].unit, v,
                v / L, target, met, s / v);
  }
}

void fill_inputs(BenchInputs& in) {
  std::mt19937_64 gen(20261208);
  auto random_bytes = [&](std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(gen());
  };
  auto random_scalar = [&] {
    std::uint8_t wide[64];
    random_bytes(wide, sizeof wide);
    return group::reduce_wide(wide);
  };
  for (int lane = 0; lane < 8; ++lane) {
    random_bytes(in.field_bytes[lane], 32);
    in.field_bytes[lane][31] &= 0x7f;
    random_bytes(in.representatives[lane], 32);
    in.scalars[lane] = random_scalar();
  }
  for (int g = 0; g < kCompressGroups; ++g) {
    for (int lane = 0; lane < 8; ++lane) {
      const group::PointBytes b = group::compress(group::mul_base(random_scalar()));
      std::memcpy(in.point_bytes[g][lane], b.data(), 32);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  TimingPlan plan{11, 20e6};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc) {
      plan.rounds = std::clamp(std::atoi(argv[++i]), 1, kMaxRounds);
    } else if (a == "--round-ms" && i + 1 < argc) {
      plan.round_ns = std::max(1.0, std::atof(argv[++i])) * 1e6;
    } else {
      std::fprintf(stderr, "usage: %s [--rounds N] [--round-ms MS]\n", argv[0]);
      return 2;
    }
  }
  if (sodium_init() < 0) return 1;

  const char* env = std::getenv("VELTRANE_BACKEND");
  const backends::Backend& active = backends::active_backend();
  std::printf("active_backend(): %s (%d lane%s), VELTRANE_BACKEND=%s\n", active.name,
              active.lanes, active.lanes == 1 ? "" : "s", env ? env : "(unset)");
  std::printf("processor: AVX-512 IFMA %s, AVX-512F %s, AVX2 %s\n",
              group::lanes::cpu_has_ifma() ? "yes" : "no",
              group::lanes::cpu_has_avx512f() ? "yes" : "no",
              group::lanes::cpu_has_avx2() ? "yes" : "no");
  std::printf("figures: median of %d rounds of %.0f ms each\n\n", plan.rounds,
              plan.round_ns / 1e6);

  BenchInputs in;
  fill_inputs(in);

  // L before and after the rest, so drift in machine speed shows.
  std::uint8_t sodium_scalar[32];
  std::memcpy(sodium_scalar, in.scalars[0].bytes.data(), 32);
  std::vector<double> sodium_rounds = time_sodium(plan, sodium_scalar, in.point_bytes[0][0]);
  const double sodium_before = median(sodium_rounds);

  struct Native {
    const char* title;
    bool (*time)(const BenchInputs&, const TimingPlan&, FieldTimings&);
    FieldTimings timings;
    bool ran;
  };
  Native natives[] = {
      {"IFMA lanes (8, radix 2^51)", &time_ifma_lanes, {}, false},
      {"AVX-512F lanes (8, radix 2^25.5)", &time_avx512f_lanes, {}, false},
      {"AVX2 lanes (4, radix 2^25.5)", &time_avx2_lanes, {}, false},
  };
  FieldTimings scalar{}, portable{}, portable25{};
  LaneSuite<group::ScalarField>::run(in, plan, scalar);
  for (Native& n : natives) n.ran = n.time(in, plan, n.timings);
  LaneSuite<PortableField>::run(in, plan, portable);
  LaneSuite<Portable25Field>::run(in, plan, portable25);

  const std::vector<double> after = time_sodium(plan, sodium_scalar, in.point_bytes[0][0]);
  const double sodium_after = median(after);
  sodium_rounds.insert(sodium_rounds.end(), after.begin(), after.end());
  const double L = median(sodium_rounds);
  std::printf("L = libsodium crypto_scalarmult_ed25519_noclamp = %.0f ns "
              "(median of %zu rounds; %.0f ns before, %.0f ns after)\n",
              L, sodium_rounds.size(), sodium_before, sodium_after);

  print_table("one-item field (radix 2^51)", scalar, scalar, L, false);
  bool first = true;  // auto takes the first native backend that runs
  for (const Native& n : natives) {
    if (!n.ran) {
      std::printf("\n%s: skipped, this processor lacks them\n", n.title);
      continue;
    }
    print_table(n.title, n.timings, scalar, L, first);
    first = false;
  }
  print_table("portable lanes (exact emulation of the radix-2^51 lanes), for information only",
              portable, scalar, L, false);
  print_table("portable lanes (exact emulation of the radix-2^25.5 lanes), for information only",
              portable25, scalar, L, false);
  return 0;
}
