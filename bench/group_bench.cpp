// Timings of the group arithmetic next to libsodium's matching operations,
// in one run: ns/op, and for ours the ratio to the libsodium operation it
// corresponds to (below 1 is faster).
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "group/edwards.hpp"
#include "group/field.hpp"
#include "point_conversion.hpp"

namespace {

using namespace veltrane;
using namespace veltrane::group;

volatile std::uint8_t g_sink;

// ns per call: the fastest of 15 rounds of about 20 ms each, so that
// interference from other processes on a shared machine mostly drops out.
double time_op(const std::function<void()>& op, int batch) {
  using Clock = std::chrono::steady_clock;
  for (int i = 0; i < batch / 10 + 1; ++i) op();  // warm-up
  double best = 1e300;
  for (int round = 0; round < 15; ++round) {
    long calls = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
      for (int i = 0; i < batch; ++i) op();
      calls += batch;
      elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    } while (elapsed < 2e7);
    best = std::min(best, elapsed / static_cast<double>(calls));
  }
  return best;
}

void report(const char* name, double ns, double reference_ns = 0, const char* reference = "") {
  if (reference_ns > 0) {
    std::printf("%-34s %11.1f ns/op   %5.2fx %s\n", name, ns, ns / reference_ns, reference);
  } else {
    std::printf("%-34s %11.1f ns/op\n", name, ns);
  }
}

Scalar scalar_from(std::uint8_t seed) {
  Scalar k;
  for (int i = 0; i < 32; ++i) k.bytes[i] = static_cast<std::uint8_t>(seed * 29 + i * 83 + 1);
  k.bytes[31] &= 0x7F;
  return k;
}

}  // namespace

int main() {
  if (sodium_init() < 0) return 1;

  // libsodium references first.
  Scalar k = scalar_from(1);
  PointBytes q_bytes{}, out{};
  if (crypto_scalarmult_ed25519_base_noclamp(q_bytes.data(), scalar_from(2).bytes.data()) != 0) {
    return 1;
  }
  const double sodium_var = time_op(
      [&] {
        if (crypto_scalarmult_ed25519_noclamp(out.data(), k.bytes.data(), q_bytes.data()) != 0) {
          out[0] = 0;
        }
        k.bytes[0] ^= out[0];
      },
      100);
  const double sodium_base = time_op(
      [&] {
        if (crypto_scalarmult_ed25519_base_noclamp(out.data(), k.bytes.data()) != 0) out[0] = 0;
        k.bytes[0] ^= out[0];
      },
      100);
  PointBytes acc = q_bytes;
  const double sodium_add = time_op(
      [&] {
        if (crypto_core_ed25519_add(acc.data(), acc.data(), q_bytes.data()) != 0) acc = q_bytes;
      },
      1000);
  report("libsodium scalarmult_noclamp", sodium_var);
  report("libsodium scalarmult_base_noclamp", sodium_base);
  report("libsodium core_ed25519_add", sodium_add);
  std::printf("\n");

  // Field.
  std::uint8_t seed_bytes[32] = {0x11, 0x22, 0x33};
  FieldElement a = fe_from_bytes(seed_bytes), b = fe_add(a, kFieldOne);
  report("field mul", time_op([&] { a = fe_mul(a, b); }, 100000));
  report("field square", time_op([&] { a = fe_square(a); }, 100000));
  report("field invert", time_op([&] { a = fe_add(fe_invert(a), kFieldOne); }, 1000));
  report("field sqrt_ratio", time_op([&] {
           const SqrtRatio s = fe_sqrt_ratio(a, b);
           a = fe_add(s.root, kFieldOne);
         }, 1000));
  g_sink = fe_to_bytes(a)[0];

  // Points.
  const Point q = decompress(q_bytes.data()).value();
  Point p = q;
  report("decompress", time_op([&] {
           const auto d = decompress(q_bytes.data());
           g_sink = static_cast<std::uint8_t>(d.has_value());
           q_bytes[1] ^= g_sink;
           q_bytes[1] ^= g_sink;
         }, 1000));
  report("compress", time_op([&] {
           const PointBytes c = compress(p);
           g_sink = c[0];
         }, 1000));
  report("add_points", time_op([&] { p = add_points(p, q); }, 10000), sodium_add,
         "of core_ed25519_add (ours without decode/encode)");
  report("add_points + 2 decompress + compress", time_op([&] {
           const Point x = *decompress(acc.data());
           const Point y = *decompress(q_bytes.data());
           acc = compress(add_points(x, y));
         }, 1000), sodium_add, "of core_ed25519_add");

  report("mul_point", time_op([&] {
           p = mul_point(k, q);
           k.bytes[0] ^= fe_to_bytes(p.X)[0];
         }, 100), sodium_var, "of scalarmult_noclamp");
  report("decompress + mul_point + compress", time_op([&] {
           const Point x = *decompress(q_bytes.data());
           out = compress(mul_point(k, x));
           k.bytes[0] ^= out[0];
         }, 100), sodium_var, "of scalarmult_noclamp");
  const auto table = build_fixed_base_table(q);
  report("mul_fixed", time_op([&] {
           p = mul_fixed(*table, k);
           k.bytes[0] ^= fe_to_bytes(p.X)[0];
         }, 100), sodium_base, "of scalarmult_base_noclamp");
  report("mul_base", time_op([&] {
           p = mul_base(k);
           k.bytes[0] ^= fe_to_bytes(p.X)[0];
         }, 100), sodium_base, "of scalarmult_base_noclamp");
  report("mul_base + compress", time_op([&] {
           out = compress(mul_base(k));
           k.bytes[0] ^= out[0];
         }, 100), sodium_base, "of scalarmult_base_noclamp");
  report("build_fixed_base_table", time_op([&] {
           const auto t = build_fixed_base_table(p);
           g_sink = fe_to_bytes(t->rows[3][4].xy2d)[0];
         }, 2));

  // Representatives.
  std::array<std::uint8_t, 32> rep{};
  rep[0] = 0x42;
  report("representative_to_point", time_op([&] {
           p = representative_to_point(rep.data());
           rep[1] ^= fe_to_bytes(p.Y)[0];
         }, 1000));
  std::array<std::uint8_t, 32> key{};
  random::ChaCha12Generator rng(key, nullptr);
  const Point encodable = representative_to_point(rep.data());
  report("point_to_representative", time_op([&] {
           const auto r = point_to_representative(encodable, rng);
           g_sink = (*r)[0];
         }, 1000));
  return 0;
}
