// The timed loops of the lane benchmark over one field backend F. Every
// function is a member of LaneSuite<F>, so each field's code is a separate
// instantiation: the IFMA unit includes this after its instruction-set
// pragma and instantiates it for the IFMA field alone, the baseline unit for
// the one-item field and the portable lanes. No standard-library template is
// instantiated here (the statistics are done by the baseline unit), so no
// shared code can come out compiled for AVX-512.
#pragma once

#include <cstdint>

#include "lanes_bench.hpp"
#include "group/curve/encoding.hpp"
#include "group/curve/scalar_mul.hpp"
#include "point_conversion_lanes.hpp"

namespace veltrane::bench {

template <class F>
struct LaneSuite {
  static constexpr int L = F::kLanes;
  using E = group::curve::Fe<F>;
  using P = group::curve::PointT<F>;

  // The compiler must assume `v` is read and all memory may have changed,
  // so results are kept and inputs are read again on the next call.
  template <class T>
  static void escape(const T& v) {
    asm volatile("" : : "r"(&v) : "memory");
  }

  template <class Body>
  static void time_rounds(Body& body, const TimingPlan& plan, int items_per_call, OpTiming& out) {
    // Calibrate: double the call count until one batch takes a quarter round.
    long calls = 1;
    double elapsed = 0;
    for (;;) {
      const double start = now_ns();
      for (long i = 0; i < calls; ++i) body();
      elapsed = now_ns() - start;
      if (elapsed >= plan.round_ns / 4 || calls >= (1L << 26)) break;
      calls *= 2;
    }
    const double per_call = elapsed / static_cast<double>(calls);
    calls = static_cast<long>(plan.round_ns / per_call) + 1;
    out.rounds = plan.rounds;
    out.items_per_call = items_per_call;
    for (int r = 0; r < plan.rounds; ++r) {
      const double start = now_ns();
      for (long i = 0; i < calls; ++i) body();
      out.ns_per_call[r] = (now_ns() - start) / static_cast<double>(calls);
    }
  }

  static void run(const BenchInputs& in, const TimingPlan& plan, FieldTimings& out) {
    using namespace group::curve;
    const std::uint8_t* field_ptrs[L];
    const std::uint8_t* rep_ptrs[L];
    const group::Scalar* scalars[L];
    for (int lane = 0; lane < L; ++lane) {
      field_ptrs[lane] = in.field_bytes[lane];
      rep_ptrs[lane] = in.representatives[lane];
      scalars[lane] = &in.scalars[lane];
    }
    const std::uint8_t* point_ptrs[kCompressGroups][L];
    for (int g = 0; g < kCompressGroups; ++g) {
      for (int lane = 0; lane < L; ++lane) point_ptrs[g][lane] = in.point_bytes[g][lane];
    }
    // Points with a general Z, as the batch kernels' results have.
    P points[kCompressGroups];
    for (int g = 0; g < kCompressGroups; ++g) {
      const P a = decompress<F>(point_ptrs[g]).point;
      const P b = decompress<F>(point_ptrs[(g + 1) % kCompressGroups]).point;
      points[g] = add<F>(a, b);
    }
    std::uint8_t out_bytes[kCompressGroups * 8][32];
    std::uint8_t* outs[kCompressGroups * L];
    for (int i = 0; i < kCompressGroups * L; ++i) outs[i] = out_bytes[i];

    // Field: four independent chains, the parallelism the point formulas offer.
    {
      const E m = F::from_bytes(field_ptrs);
      E acc[4] = {m, F::add(m, F::one()), F::square(m), F::sub(m, F::one())};
      auto body = [&] {
        for (int k = 0; k < 4; ++k) acc[k] = F::mul(acc[k], m);
      };
      time_rounds(body, plan, 4 * L, out.op[kFieldMul]);
      escape(acc);
      auto square_body = [&] {
        for (int k = 0; k < 4; ++k) acc[k] = F::square(acc[k]);
      };
      time_rounds(square_body, plan, 4 * L, out.op[kFieldSquare]);
      escape(acc);
      auto add_body = [&] {
        for (int k = 0; k < 4; ++k) acc[k] = F::add(acc[k], m);
      };
      time_rounds(add_body, plan, 4 * L, out.op[kFieldAdd]);
      escape(acc);
      E x = acc[0];
      auto invert_body = [&] { x = invert<F>(x); };
      time_rounds(invert_body, plan, L, out.op[kInvert]);
      escape(x);
    }
    {
      auto body = [&] {
        const Decoded<F> d = decompress<F>(point_ptrs[0]);
        escape(d);
      };
      time_rounds(body, plan, L, out.op[kDecompress]);
    }
    {
      auto body = [&] {
        compress_many<F>(points, kCompressGroups, outs);
        escape(out_bytes);
      };
      time_rounds(body, plan, kCompressGroups * L, out.op[kCompress]);
    }
    {
      auto body = [&] {
        const P r = mul_point<F>(scalars, points[0]);
        escape(r);
      };
      time_rounds(body, plan, L, out.op[kMulPoint]);
    }
    {
      const group::FixedBaseTable& table = group::base_point_table();
      auto body = [&] {
        const P r = mul_fixed<F>(table, scalars);
        escape(r);
      };
      time_rounds(body, plan, L, out.op[kMulFixed]);
    }
    {
      auto body = [&] {
        const P r = conversion::representative_to_point<F>(rep_ptrs);
        escape(r);
      };
      time_rounds(body, plan, L, out.op[kRepresentativeToPoint]);
    }
    {
      auto body = [&] {
        const std::uint32_t bits = F::mask_bits(conversion::has_representative<F>(points[0]));
        escape(bits);
      };
      time_rounds(body, plan, L, out.op[kHasRepresentative]);
    }
    {
      const typename F::Mask choice = F::mask_from_bits(0x55);
      auto body = [&] {
        const std::uint32_t bits =
            F::mask_bits(conversion::point_to_representative<F>(points[0], choice, outs));
        escape(bits);
        escape(out_bytes);
      };
      time_rounds(body, plan, L, out.op[kPointToRepresentative]);
    }
  }
};

}  // namespace veltrane::bench
