// The LaneOps table of one lane field F (see lane_ops.hpp). Included after
// the instruction-set pragma by the units of the native lanes.
#pragma once

#include "group/curve/elligator.hpp"
#include "group/curve/encoding.hpp"
#include "group/curve/scalar_mul.hpp"
#include "group/tests/lane_ops.hpp"

namespace veltrane::group::testing {

template <class F>
struct LaneOpsOf {
  using E = typename F::Element;
  using P = curve::PointT<F>;
  // A field of fewer lanes than the table's eight does the eight items in
  // groups: items [g * L, g * L + L) are group g.
  static constexpr int L = F::kLanes;
  static constexpr int kGroups = kLanes / L;
  static_assert(kGroups * L == kLanes);

  static E load(const Lanes& a, int g) {
    const FieldElement* p[L];
    for (int i = 0; i < L; ++i) p[i] = &a[g * L + i];
    return F::from_lanes(p);
  }
  static void store(const E& e, Lanes& out, int g) {
    for (int i = 0; i < L; ++i) out[g * L + i] = F::lane(e, i);
  }
  static P load(const LanePoints& a, int g) {
    Lanes x, y, z, t;
    for (int i = 0; i < kLanes; ++i) {
      x[i] = a[i].X;
      y[i] = a[i].Y;
      z[i] = a[i].Z;
      t[i] = a[i].T;
    }
    return {load(x, g), load(y, g), load(z, g), load(t, g)};
  }
  static void store(const P& p, LanePoints& out, int g) {
    for (int i = 0; i < L; ++i) {
      out[g * L + i] = {F::lane(p.X, i), F::lane(p.Y, i), F::lane(p.Z, i), F::lane(p.T, i)};
    }
  }
  static std::uint32_t bits(typename F::Mask m, int g) { return F::mask_bits(m) << (g * L); }
  template <std::size_t n>
  static void pointers(const std::array<std::array<std::uint8_t, n>, kLanes>& in, int g,
                       const std::uint8_t* p[L]) {
    for (int i = 0; i < L; ++i) p[i] = in[g * L + i].data();
  }
  static void scalars(const LaneScalars& k, int g, const Scalar* p[L]) {
    for (int i = 0; i < L; ++i) p[i] = &k[g * L + i];
  }

  static void binary(Binary op, const Lanes& a, const Lanes& b, Lanes& out) {
    for (int g = 0; g < kGroups; ++g) {
      const E x = load(a, g), y = load(b, g);
      store(op == Binary::add ? F::add(x, y) : op == Binary::sub ? F::sub(x, y) : F::mul(x, y),
            out, g);
    }
  }
  static void unary(Unary op, const Lanes& a, Lanes& out) {
    for (int g = 0; g < kGroups; ++g) {
      const E x = load(a, g);
      switch (op) {
        case Unary::neg: store(F::neg(x), out, g); break;
        case Unary::square: store(F::square(x), out, g); break;
        case Unary::invert: store(curve::invert<F>(x), out, g); break;
        case Unary::pow22523: store(curve::pow22523<F>(x), out, g); break;
        case Unary::absolute: store(curve::absolute<F>(x), out, g); break;
      }
    }
  }
  static std::uint32_t predicate(Predicate op, const Lanes& a, const Lanes& b) {
    std::uint32_t r = 0;
    for (int g = 0; g < kGroups; ++g) {
      const E x = load(a, g), y = load(b, g);
      r |= bits(op == Predicate::equal     ? F::equal(x, y)
                : op == Predicate::is_zero ? F::is_zero(x)
                                           : F::is_negative(x),
                g);
    }
    return r;
  }
  static std::uint32_t sqrt_ratio(const Lanes& u, const Lanes& v, Lanes& root) {
    std::uint32_t r = 0;
    for (int g = 0; g < kGroups; ++g) {
      const curve::SqrtRatioResult<F> s = curve::sqrt_ratio<F>(load(u, g), load(v, g));
      store(s.root, root, g);
      r |= bits(s.is_square, g);
    }
    return r;
  }
  static void to_bytes(const Lanes& a, LaneBytes& out) {
    for (int g = 0; g < kGroups; ++g) {
      std::uint8_t* outs[L];
      for (int i = 0; i < L; ++i) outs[i] = out[g * L + i].data();
      F::to_bytes(load(a, g), outs);
    }
  }
  static void from_bytes(const LaneBytes& in, Lanes& out) {
    for (int g = 0; g < kGroups; ++g) {
      const std::uint8_t* ins[L];
      pointers(in, g, ins);
      store(F::from_bytes(ins), out, g);
    }
  }
  static std::uint32_t decompress(const LaneBytes& in, LanePoints& out) {
    std::uint32_t r = 0;
    for (int g = 0; g < kGroups; ++g) {
      const std::uint8_t* ins[L];
      pointers(in, g, ins);
      const curve::Decoded<F> d = curve::decompress<F>(ins);
      store(d.point, out, g);
      r |= bits(d.valid, g);
    }
    return r;
  }
  static void compress(const LanePoints* groups_in, int groups, PointBytes* out) {
    for (int h = 0; h < kGroups; ++h) {
      P points[curve::kMaxShared];
      std::uint8_t* outs[curve::kMaxShared * L];
      for (int g = 0; g < groups; ++g) {
        points[g] = load(groups_in[g], h);
        for (int i = 0; i < L; ++i) outs[g * L + i] = out[g * kLanes + h * L + i].data();
      }
      curve::compress_many<F>(points, static_cast<std::size_t>(groups), outs);
    }
  }
  static void add(const LanePoints& a, const LanePoints& b, LanePoints& out) {
    for (int g = 0; g < kGroups; ++g) store(curve::add<F>(load(a, g), load(b, g)), out, g);
  }
  static std::uint32_t equal(const LanePoints& a, const LanePoints& b) {
    std::uint32_t r = 0;
    for (int g = 0; g < kGroups; ++g) r |= bits(curve::equal<F>(load(a, g), load(b, g)), g);
    return r;
  }
  static void mul_point(const LaneScalars& k, const LanePoints& q, LanePoints& out) {
    for (int g = 0; g < kGroups; ++g) {
      const Scalar* ks[L];
      scalars(k, g, ks);
      store(curve::mul_point<F>(ks, load(q, g)), out, g);
    }
  }
  static void mul_fixed(const FixedBaseTable& table, const LaneScalars& k, LanePoints& out) {
    for (int g = 0; g < kGroups; ++g) {
      const Scalar* ks[L];
      scalars(k, g, ks);
      store(curve::mul_fixed<F>(table, ks), out, g);
    }
  }
  static std::uint32_t elligator2_point(const Lanes& r, std::uint32_t sign, LanePoints& out) {
    std::uint32_t valid = 0;
    for (int g = 0; g < kGroups; ++g) {
      const curve::Decoded<F> d =
          curve::elligator2_point<F>(load(r, g), F::mask_from_bits((sign >> (g * L)) & F::kAllLanes));
      store(d.point, out, g);
      valid |= bits(d.valid, g);
    }
    return valid;
  }

  static LaneOps table(const char* name) {
    return {name,       &binary, &unary, &predicate, &sqrt_ratio, &to_bytes, &from_bytes,
            &decompress, &compress, &add, &equal,    &mul_point,  &mul_fixed, &elligator2_point};
  }
};

}  // namespace veltrane::group::testing
