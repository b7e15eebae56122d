// A dudect-style timing test of the native lanes' scalar multiplications
// (IFMA, AVX-512F, AVX2): does the cycle count of mul_point or mul_fixed
// depend on the secret scalar?
//
// Two classes of inputs, chosen at random for every measurement so that
// drift in machine speed falls on both alike: a fixed scalar (zero, or one
// random value drawn once) and a fresh random scalar. All the lanes take
// the measurement's scalar. Each call is timed with rdtsc/rdtscp between
// fences; the classes' cycle counts are compared with Welch's t statistic,
// once on all measurements, once per cropping threshold (measurements above
// a percentile of a first warm-up batch are dropped, as dudect does, since
// interrupts and frequency changes only ever add time) and once on the
// centred squares (a second-order test for a difference in spread). The
// figure reported is the largest |t|; below 5 there is no evidence of a
// secret-dependent timing at this number of measurements. This is a report,
// not a test with a verdict on the build: it takes minutes and measures the
// machine as much as the code.
//
//   dudect_lanes [--backends ifma,avx512f,avx2] [--measurements N]
//                [--ops mul_point,mul_fixed[,leaky_control]]
//                [--fixed zero,random] [--cpu K] [--seed S]
//
// A backend is tested only where the processor and the operating system
// support it (every one they do, by default); each one's code is compiled in
// its own unit (dudect_<backend>.cpp), in a region after everything shared
// (see src/backends/lane_unit.hpp).
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "backends/backend.hpp"
#include "common/fatal_error.hpp"
#include "common/secret.hpp"
#include "group/edwards.hpp"
#include "group/field.hpp"
#include "group/lanes/cpu_features.hpp"
#include "group/scalar.hpp"
#include "dudect_lanes.hpp"


namespace {

using veltrane::bench::Target;
using veltrane::group::Scalar;
using Measure = void (*)(Target, const Scalar*, std::size_t, const std::uint8_t*, std::uint64_t*);

struct Lanes {
  const char* name;
  const char* label;
  bool (*available)();
  Measure measure;
};

constexpr Lanes kLanes[] = {
    {"ifma", "IFMA lanes (8)", &veltrane::group::lanes::cpu_has_ifma, &veltrane::bench::ifma_bench::measure},
    {"avx512f", "AVX-512F lanes (8)", &veltrane::group::lanes::cpu_has_avx512f,
     &veltrane::bench::avx512f_bench::measure},
    {"avx2", "AVX2 lanes (4)", &veltrane::group::lanes::cpu_has_avx2, &veltrane::bench::avx2_bench::measure},
};

// Welch's t on two classes, with running means and sums of squared
// deviations (Welford), numerically steady over millions of samples.
struct Welch {
  double n[2] = {0, 0};
  double mean[2] = {0, 0};
  double m2[2] = {0, 0};

  void push(double x, int c) {
    n[c] += 1;
    const double delta = x - mean[c];
    mean[c] += delta / n[c];
    m2[c] += delta * (x - mean[c]);
  }
  double t() const {
    if (n[0] < 2 || n[1] < 2) return 0;
    const double v0 = m2[0] / (n[0] - 1), v1 = m2[1] / (n[1] - 1);
    const double se = std::sqrt(v0 / n[0] + v1 / n[1]);
    return se > 0 ? (mean[0] - mean[1]) / se : 0;
  }
  double total() const { return n[0] + n[1]; }
};

constexpr int kCrops = 100;
constexpr std::size_t kBatch = 10000;
// dudect leaves the first few measurements of every batch out (cache and
// branch-predictor state left over from preparing the batch).
constexpr std::size_t kSkipPerBatch = 10;
// A test is only counted once it has seen this many measurements.
constexpr double kEnoughMeasurements = 10000;

struct Tests {
  std::vector<double> thresholds;  // kCrops cropping thresholds, in cycles
  Welch all;
  Welch cropped[kCrops];
  Welch second_order;

  void push(double x, int c) {
    // The second-order test centres on the running mean of the class before
    // this measurement enters it, as dudect does.
    if (all.total() >= kEnoughMeasurements) {
      const double d = x - all.mean[c];
      second_order.push(d * d, c);
    }
    all.push(x, c);
    for (int i = 0; i < kCrops; ++i) {
      if (x < thresholds[i]) cropped[i].push(x, c);
    }
  }
};

std::vector<double> crop_thresholds(std::vector<std::uint64_t> warmup) {
  std::sort(warmup.begin(), warmup.end());
  std::vector<double> t(kCrops);
  for (int i = 0; i < kCrops; ++i) {
    const double q = 1 - std::pow(0.5, 10.0 * (i + 1) / kCrops);
    const std::size_t at = std::min(warmup.size() - 1, static_cast<std::size_t>(q * warmup.size()));
    t[i] = static_cast<double>(warmup[at]);
  }
  return t;
}

struct Outcome {
  double max_abs_t;
  std::string where;
  double n;
};

Outcome largest(const Tests& tests) {
  Outcome o{std::fabs(tests.all.t()), "all measurements", tests.all.total()};
  for (int i = 0; i < kCrops; ++i) {
    const Welch& w = tests.cropped[i];
    if (w.total() < kEnoughMeasurements) continue;
    if (std::fabs(w.t()) > o.max_abs_t) {
      const double q = 1 - std::pow(0.5, 10.0 * (i + 1) / kCrops);
      char where[64];
      std::snprintf(where, sizeof where, "cropped below percentile %.2f", 100 * q);
      o = {std::fabs(w.t()), where, w.total()};
    }
  }
  if (tests.second_order.total() >= kEnoughMeasurements &&
      std::fabs(tests.second_order.t()) > o.max_abs_t) {
    o = {std::fabs(tests.second_order.t()), "second order (centred squares)",
         tests.second_order.total()};
  }
  return o;
}

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= s.size()) {
    const std::size_t comma = s.find(',', start);
    const std::size_t end = comma == std::string::npos ? s.size() : comma;
    if (end > start) out.push_back(s.substr(start, end - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

double median_cycles(std::vector<std::uint64_t> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return static_cast<double>(v[v.size() / 2]);
}

// One test: `measurements` timed calls after a warm-up batch that only sets
// the cropping thresholds. Returns whether max |t| stayed below 5.
bool run_test(Measure measure, Target target, const std::string& fixed_kind,
              std::size_t measurements, std::mt19937_64& gen, const std::uint8_t point[32]) {
  auto random_scalar = [&] {
    std::uint8_t wide[64];
    for (auto& b : wide) b = static_cast<std::uint8_t>(gen());
    return veltrane::group::reduce_wide(wide);
  };
  const Scalar fixed = fixed_kind == "zero" ? Scalar{} : random_scalar();

  std::vector<Scalar> scalars(kBatch);
  std::vector<int> classes(kBatch);
  std::vector<std::uint64_t> cycles(kBatch);
  auto prepare = [&] {
    for (std::size_t i = 0; i < kBatch; ++i) {
      classes[i] = static_cast<int>(gen() & 1);
      scalars[i] = classes[i] == 0 ? fixed : random_scalar();
    }
  };

  prepare();
  measure(target, scalars.data(), kBatch, point, cycles.data());
  Tests tests;
  tests.thresholds = crop_thresholds(cycles);

  std::vector<std::uint64_t> per_class[2];
  std::size_t done = 0;
  while (done < measurements) {
    prepare();
    measure(target, scalars.data(), kBatch, point, cycles.data());
    for (std::size_t i = kSkipPerBatch; i < kBatch && done < measurements; ++i, ++done) {
      tests.push(static_cast<double>(cycles[i]), classes[i]);
      // A sample of the raw counts for the medians printed beside the result.
      if (done % 16 == 0) per_class[classes[i]].push_back(cycles[i]);
    }
  }
  veltrane::secure_wipe(scalars.data(), scalars.size() * sizeof(Scalar));

  const Outcome o = largest(tests);
  const bool pass = o.max_abs_t < 5;
  std::printf("%-10s fixed=%-6s n=%-8.0f median cycles fixed/random %8.0f / %8.0f   "
              "|t| all=%6.2f  max|t|=%6.2f (%s, n=%.0f)  max tau=%.5f  %s\n",
              target == Target::mul_point   ? "mul_point"
              : target == Target::mul_fixed ? "mul_fixed"
                                            : "control",
              fixed_kind.c_str(),
              tests.all.total(), median_cycles(per_class[0]), median_cycles(per_class[1]),
              std::fabs(tests.all.t()), o.max_abs_t, o.where.c_str(), o.n,
              o.max_abs_t / std::sqrt(o.n), pass ? "PASS" : "FAIL (|t| >= 5)");
  std::fflush(stdout);
  return pass;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t measurements = 1000000;
  std::string ops = "mul_point,mul_fixed";
  std::string fixed = "zero,random";
  std::string backends = "ifma,avx512f,avx2";
  int cpu = -1;
  std::uint64_t seed = 0x5eed;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--backends" && has_value) {
      backends = argv[++i];
    } else if (a == "--measurements" && has_value) {
      measurements = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "--ops" && has_value) {
      ops = argv[++i];
    } else if (a == "--fixed" && has_value) {
      fixed = argv[++i];
    } else if (a == "--cpu" && has_value) {
      cpu = std::atoi(argv[++i]);
    } else if (a == "--seed" && has_value) {
      seed = std::strtoull(argv[++i], nullptr, 0);
    } else {
      std::fprintf(stderr,
                   "usage: %s [--backends ifma,avx512f,avx2] [--measurements N] "
                   "[--ops mul_point,mul_fixed,leaky_control] "
                   "[--fixed zero,random] [--cpu K] [--seed S]\n",
                   argv[0]);
      return 2;
    }
  }

  if (cpu >= 0) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (sched_setaffinity(0, sizeof set, &set) != 0) std::perror("sched_setaffinity");
  }

  std::mt19937_64 gen(seed);
  // The public point of mul_point: some fixed point, the same for both classes.
  std::uint8_t wide[64];
  for (auto& b : wide) b = static_cast<std::uint8_t>(gen());
  const veltrane::group::PointBytes point =
      veltrane::group::compress(veltrane::group::mul_base(veltrane::group::reduce_wide(wide)));

  for (const std::string& op : split(ops)) {
    if (op != "mul_point" && op != "mul_fixed" && op != "leaky_control") {
      std::fprintf(stderr, "unknown operation %s\n", op.c_str());
      return 2;
    }
  }
  for (const std::string& f : split(fixed)) {
    if (f != "zero" && f != "random") {
      std::fprintf(stderr, "unknown fixed class %s (zero or random)\n", f.c_str());
      return 2;
    }
  }
  std::printf("dudect: %zu measurements per test (after a %zu-measurement warm-up batch), "
              "classes interleaved at random, every lane with the class's scalar\n",
              measurements, kBatch);
  std::printf("threshold: PASS while max |t| < 5 over all measurements, %d crops and the "
              "second-order test\n",
              kCrops);
  bool all_pass = true;
  for (const std::string& name : split(backends)) {
    const Lanes* lanes = nullptr;
    for (const Lanes& l : kLanes) {
      if (name == l.name) lanes = &l;
    }
    if (!lanes) {
      std::fprintf(stderr, "unknown backend %s (ifma, avx512f or avx2)\n", name.c_str());
      return 2;
    }
    if (!lanes->available()) {
      std::printf("\n%s: skipped, this processor (or its operating system) cannot run them\n",
                  lanes->label);
      continue;
    }
    std::printf("\n%s\n", lanes->label);
    for (const std::string& op : split(ops)) {
      const Target target = op == "mul_point"   ? Target::mul_point
                            : op == "mul_fixed" ? Target::mul_fixed
                                                : Target::leaky_control;
      for (const std::string& f : split(fixed)) {
        all_pass &= run_test(lanes->measure, target, f, measurements, gen, point.data());
      }
    }
  }
  std::printf("\n%s\n", all_pass ? "PASS: no test reached |t| = 5"
                                 : "FAIL: some test reached |t| >= 5 (see above)");
  return 0;
}
