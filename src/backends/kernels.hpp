// The batch kernels over a field backend F, F::kLanes items at a time.
// Function templates only: each backend's translation unit instantiates
// them for its own field (and, for the native lanes, its own instruction set).
//
// A group of lanes is checked as a whole before its result is used, and the
// failure reported is the one of its lowest failing item, with that item's
// first failing check: exactly what a loop over the items meets first.
// Unused lanes of a short group are filled with the base point and a zero
// scalar and their results dropped.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "backends/backend.hpp"
#include "common/fatal_error.hpp"
#include "common/secret.hpp"
#include "group/curve/encoding.hpp"
#include "group/curve/scalar_mul.hpp"
#include "point_conversion_lanes.hpp"
#include "random_scalar.hpp"

namespace veltrane::backends::kernels {

using group::FieldElement;
using group::Point;
using group::Scalar;
using namespace group::curve;

inline constexpr std::uint8_t kPadPoint[32] = {
    0x58, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
    0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66};

// Where the outputs of unused lanes go.
struct Discard {
  std::uint8_t bytes[32];
};

// Scalars of one group of lanes, wiped when the group is done.
template <class F>
struct LaneScalars {
  Scalar k[F::kLanes]{};
  const Scalar* ptr[F::kLanes];
  LaneScalars() {
    for (int i = 0; i < F::kLanes; ++i) ptr[i] = &k[i];
  }
  ~LaneScalars() { secure_wipe(k, sizeof k); }
  LaneScalars(const LaneScalars&) = delete;
  LaneScalars& operator=(const LaneScalars&) = delete;
};

template <class F>
PointT<F> broadcast(const Point& p) {
  return {F::constant(p.X), F::constant(p.Y), F::constant(p.Z), F::constant(p.T)};
}

template <class F>
Point lane_point(const PointT<F>& p, int lane) {
  return {F::lane(p.X, lane), F::lane(p.Y, lane), F::lane(p.Z, lane), F::lane(p.T, lane)};
}

template <class F>
PointT<F> gather_points(const Point* const points[F::kLanes]) {
  const FieldElement* x[F::kLanes];
  const FieldElement* y[F::kLanes];
  const FieldElement* z[F::kLanes];
  const FieldElement* t[F::kLanes];
  for (int i = 0; i < F::kLanes; ++i) {
    x[i] = &points[i]->X;
    y[i] = &points[i]->Y;
    z[i] = &points[i]->Z;
    t[i] = &points[i]->T;
  }
  return {F::from_lanes(x), F::from_lanes(y), F::from_lanes(z), F::from_lanes(t)};
}

// One random bit per lane, from lane 0 up.
template <class F>
typename F::Mask random_bits(random::ChaCha12Generator& rng, int lanes) {
  std::uint32_t bits = 0;
  for (int i = 0; i < lanes; ++i) bits |= static_cast<std::uint32_t>(rng.draw_bool()) << i;
  return F::mask_from_bits(bits);
}

// Encodes the lane points points[0..n) into outs[i * kLanes + lane], in
// chunks that share an inversion.
template <class F>
void compress_all(const PointT<F>* points, std::size_t n, std::uint8_t* const* outs) {
  for (std::size_t first = 0; first < n; first += kMaxShared) {
    const std::size_t count = std::min(kMaxShared, n - first);
    compress_many<F>(points + first, count, outs + first * F::kLanes);
  }
}

// out[i] = 1 / z[i], in chunks that share an inversion.
template <class F>
void invert_all(const Fe<F>* z, std::size_t n, Fe<F>* out) {
  for (std::size_t first = 0; first < n; first += kMaxShared) {
    invert_many<F>(z + first, std::min(kMaxShared, n - first), out + first);
  }
}

// ---- build_okvs ----

// A candidate scalar with what is known of its two points so far: each
// point's representative field element is found in the same square root
// that tests whether it has one. One type per backend, so that the vector
// code for it is emitted separately in each backend's unit (a native lane
// backend's is compiled for its instruction set and must not stand in for
// the others).
template <class F>
struct Candidate {
  Scalar s;
  Point first, second;
  FieldElement first_root, second_root;
};

template <class F>
void entry_values(const group::FixedBaseTable& table, std::uint8_t* values, std::size_t n,
                  random::ChaCha12Generator& rng) {
  constexpr int L = F::kLanes;
  // Rows whose values are finished together: their sign bits share one inversion.
  constexpr std::size_t kFinishGroups = 4;
  // Stage 1 tries fresh scalars on s*B, stage 2 the survivors on s*PK, each
  // on full groups of lanes; stage 3 gives every candidate that passed both
  // to the next row without a value. Each test draws its conversion's
  // random bit, so the accepted s is uniform among those whose two points
  // both convert, and each conversion has a fresh bit of its own.
  using Candidate = kernels::Candidate<F>;
  std::vector<Candidate> passed_first, passed_both;
  passed_first.reserve(2 * L);
  passed_both.reserve((kFinishGroups + 1) * L);  // never grows beyond: wiped below
  struct Wipe {
    std::vector<Candidate>& a;
    std::vector<Candidate>& b;
    ~Wipe() {
      secure_wipe(a.data(), a.capacity() * sizeof(Candidate));
      secure_wipe(b.data(), b.capacity() * sizeof(Candidate));
    }
  } wipe{passed_first, passed_both};
  const group::FixedBaseTable& base_table = group::base_point_table();

  std::size_t done = 0;
  while (done < n) {
    const std::size_t wanted = std::min<std::size_t>(kFinishGroups * L, n - done);
    if (passed_both.size() >= wanted) {
      const std::size_t groups = (wanted + L - 1) / L;
      PointT<F> points[2 * kFinishGroups];
      Fe<F> roots[2 * kFinishGroups], z[2 * kFinishGroups], z_inverse[2 * kFinishGroups];
      for (std::size_t g = 0; g < groups; ++g) {
        const Point* firsts[L];
        const Point* seconds[L];
        const FieldElement* first_roots[L];
        const FieldElement* second_roots[L];
        for (int i = 0; i < L; ++i) {
          const Candidate& c = passed_both[std::min<std::size_t>(g * L + i, wanted - 1)];
          firsts[i] = &c.first;
          seconds[i] = &c.second;
          first_roots[i] = &c.first_root;
          second_roots[i] = &c.second_root;
        }
        points[2 * g] = gather_points<F>(firsts);
        points[2 * g + 1] = gather_points<F>(seconds);
        roots[2 * g] = F::from_lanes(first_roots);
        roots[2 * g + 1] = F::from_lanes(second_roots);
        z[2 * g] = points[2 * g].Z;
        z[2 * g + 1] = points[2 * g + 1].Z;
      }
      invert_many<F>(z, 2 * groups, z_inverse);
      Discard discard;
      for (std::size_t j = 0; j < 2 * groups; ++j) {
        std::uint8_t* outs[L];
        for (int i = 0; i < L; ++i) {
          const std::size_t row = (j / 2) * L + i;
          outs[i] = row < wanted ? values + 64 * (done + row) + 32 * (j % 2) : discard.bytes;
        }
        // Bit 255 is the sign of x, which the representative does not carry.
        const std::uint32_t negative_x =
            F::mask_bits(F::is_negative(F::mul(points[j].X, z_inverse[j])));
        conversion::write_representative<F>(roots[j], negative_x, outs);
      }
      passed_both.erase(passed_both.begin(), passed_both.begin() + wanted);
      done += wanted;
    } else if (passed_first.size() >= static_cast<std::size_t>(L)) {
      LaneScalars<F> s;
      for (int i = 0; i < L; ++i) s.k[i] = passed_first[i].s;
      const PointT<F> second = mul_fixed<F>(table, s.ptr);
      const auto root = conversion::representative_root<F>(second, random_bits<F>(rng, L));
      const std::uint32_t ok = F::mask_bits(root.valid);
      for (int i = 0; i < L; ++i) {
        if ((ok >> i) & 1) {
          Candidate c = passed_first[i];
          c.second = lane_point<F>(second, i);
          c.second_root = F::lane(root.r, i);
          passed_both.push_back(c);
          secure_wipe(&c, sizeof c);
        }
      }
      secure_wipe(passed_first.data(), L * sizeof(Candidate));
      passed_first.erase(passed_first.begin(), passed_first.begin() + L);
    } else {
      LaneScalars<F> s;
      for (int i = 0; i < L; ++i) s.k[i] = random_scalar(rng);
      const PointT<F> first = mul_fixed<F>(base_table, s.ptr);
      const auto root = conversion::representative_root<F>(first, random_bits<F>(rng, L));
      const std::uint32_t ok = F::mask_bits(root.valid);
      for (int i = 0; i < L; ++i) {
        if ((ok >> i) & 1) {
          passed_first.push_back({s.k[i], lane_point<F>(first, i), {}, F::lane(root.r, i), {}});
        }
      }
    }
  }
}

// ---- initiate_queries ----

template <class F>
void encrypt(const std::uint8_t* sender_values, const std::uint8_t* receiver_values,
             std::size_t n, const Point& coordinator_key, std::uint8_t* out,
             random::ChaCha12Generator& rng) {
  constexpr int L = F::kLanes;
  constexpr std::size_t kGroups = kBlock / L;
  const PointT<F> key = broadcast<F>(coordinator_key);
  const group::FixedBaseTable& base_table = group::base_point_table();
  for (std::size_t first = 0; first < n; first += kBlock) {
    const std::size_t count = std::min(kBlock, n - first);
    const std::size_t groups = (count + L - 1) / L;
    PointT<F> results[4 * kGroups], decoded[4 * kGroups];
    Fe<F> z[4 * kGroups], z_inverse[4 * kGroups];
    typename F::Mask signs[4 * kGroups];
    // r for r*B, and r/8 for the products with decoded points, which are
    // taken of 8 times the point: r/8 * 8Q = r*Q on the prime-order
    // subgroup, and a small-order part of Q is cleared.
    LaneScalars<F> scalars[kGroups], eighths[kGroups];
    std::uint8_t* outs[4 * kGroups * L];
    Discard discard;
    for (std::size_t g = 0; g < groups; ++g) {
      const std::uint8_t* halves[4][L];
      LaneScalars<F> r;
      for (int lane = 0; lane < L; ++lane) {
        const std::size_t item = g * L + lane;
        const bool used = item < count;
        const std::uint8_t* u = sender_values + 64 * (first + (used ? item : 0));
        const std::uint8_t* w = receiver_values + 64 * (first + (used ? item : 0));
        halves[0][lane] = u;
        halves[1][lane] = u + 32;
        halves[2][lane] = w;
        halves[3][lane] = w + 32;
        if (used) {
          r.k[lane] = random_scalar(rng);
          eighths[g].k[lane] = group::divide_by_cofactor(r.k[lane]);
        }
        for (int c = 0; c < 4; ++c) {
          outs[(4 * g + c) * L + lane] = used ? out + 128 * (first + item) + 32 * c : discard.bytes;
        }
      }
      // The four points, their signs set after one shared inversion below.
      for (int j = 0; j < 4; ++j) {
        const conversion::UnsignedPoint<F> q =
            conversion::representative_to_unsigned_point<F>(halves[j]);
        decoded[4 * g + j] = q.point;
        signs[4 * g + j] = q.sign;
        z[4 * g + j] = q.point.Z;
      }
      for (int lane = 0; lane < L; ++lane) scalars[g].k[lane] = r.k[lane];
    }
    invert_all<F>(z, 4 * groups, z_inverse);
    for (std::size_t g = 0; g < groups; ++g) {
      PointT<F> q[4];
      for (int j = 0; j < 4; ++j) {
        q[j] = with_x_sign<F>(decoded[4 * g + j], z_inverse[4 * g + j], signs[4 * g + j]);
      }
      const PointT<F> sum = add<F>(add<F>(q[1], q[3]), key);
      results[4 * g + 0] = mul_point<F>(eighths[g].ptr, times_eight<F>(q[0]));
      results[4 * g + 1] = mul_point<F>(eighths[g].ptr, times_eight<F>(q[2]));
      results[4 * g + 2] = mul_fixed<F>(base_table, scalars[g].ptr);
      results[4 * g + 3] = mul_point<F>(eighths[g].ptr, times_eight<F>(sum));
    }
    compress_all<F>(results, 4 * groups, outs);
  }
}

// ---- randomize and combine ----

// The lane pointers to the four components of ciphertexts [first, first +
// kLanes) of a list of `length` bytes (items from `end` on are unused lanes),
// and the length check of each: a short chunk fails with the range error
// of the first component that runs past its end.
template <class F>
struct CiphertextGroup {
  static constexpr std::size_t kSize = 128;
  const std::uint8_t* component[4][F::kLanes];
  std::size_t chunk_length[F::kLanes];

  CiphertextGroup(const std::uint8_t* list, std::size_t length, std::size_t first,
                  std::size_t end) {
    for (int lane = 0; lane < F::kLanes; ++lane) {
      const std::size_t item = first + lane;
      const bool used = item < end;
      chunk_length[lane] = used ? std::min(kSize, length - kSize * item) : kSize;
      const bool whole = used && chunk_length[lane] == kSize;
      for (int c = 0; c < 4; ++c) component[c][lane] = whole ? list + kSize * item + 32 * c : kPadPoint;
    }
  }
  void check_length(int lane) const {
    if (chunk_length[lane] < kSize) {
      fatal(range_end_message(32 * (chunk_length[lane] / 32 + 1), chunk_length[lane]));
    }
  }
};

template <class F>
void randomize(const std::uint8_t* in, std::size_t length, std::size_t begin, std::size_t end,
               std::uint8_t* out, random::ChaCha12Generator& rng) {
  constexpr int L = F::kLanes;
  constexpr std::size_t kGroups = kBlock / L;
  constexpr std::size_t kSize = 128;
  for (std::size_t first = begin; first < end; first += kBlock) {
    const std::size_t count = std::min(kBlock, end - first);
    const std::size_t groups = (count + L - 1) / L;
    PointT<F> results[4 * kGroups];
    std::uint8_t* outs[4 * kGroups * L];
    Discard discard;
    for (std::size_t g = 0; g < groups; ++g) {
      const std::size_t group_first = first + g * L;
      const CiphertextGroup<F> chunks(in, length, group_first, first + count);
      LaneScalars<F> t;
      for (int lane = 0; lane < L; ++lane) {
        const std::size_t item = group_first + lane;
        const bool used = item < first + count;
        for (int c = 0; c < 4; ++c) {
          outs[(4 * g + c) * L + lane] = used ? out + kSize * item + 32 * c : discard.bytes;
        }
        if (used) t.k[lane] = random_scalar(rng);
      }
      Decoded<F> points[4];
      decompress_two<F>(chunks.component[0], chunks.component[1], points[0], points[1]);
      decompress_two<F>(chunks.component[2], chunks.component[3], points[2], points[3]);
      std::uint32_t valid = F::kAllLanes;
      for (int c = 0; c < 4; ++c) valid &= F::mask_bits(points[c].valid);
      for (int lane = 0; lane < L; ++lane) {
        chunks.check_length(lane);
        if (((valid >> lane) & 1) == 0) fatal(kUnwrapNone);
      }
      for (int c = 0; c < 4; ++c) results[4 * g + c] = mul_point<F>(t.ptr, points[c].point);
    }
    compress_all<F>(results, 4 * groups, outs);
  }
}


template <class F>
void combine(const std::uint8_t* a, std::size_t a_length, const std::uint8_t* b,
             std::size_t b_length, std::size_t begin, std::size_t end,
             std::uint8_t* const lists[4]) {
  constexpr int L = F::kLanes;
  constexpr std::size_t kGroups = kBlock / L;
  for (std::size_t first = begin; first < end; first += kBlock) {
    const std::size_t count = std::min(kBlock, end - first);
    const std::size_t groups = (count + L - 1) / L;
    PointT<F> results[4 * kGroups];
    std::uint8_t* outs[4 * kGroups * L];
    Discard discard;
    for (std::size_t g = 0; g < groups; ++g) {
      const std::size_t group_first = first + g * L;
      const CiphertextGroup<F> from_a(a, a_length, group_first, first + count);
      const CiphertextGroup<F> from_b(b, b_length, group_first, first + count);
      for (int lane = 0; lane < L; ++lane) {
        const bool used = group_first + lane < first + count;
        for (int c = 0; c < 4; ++c) {
          outs[(4 * g + c) * L + lane] = used ? lists[c] + 32 * (group_first + lane) : discard.bytes;
        }
      }
      Decoded<F> pa[4], pb[4];
      std::uint32_t valid_a[4], valid_b[4];
      for (int c = 0; c < 4; ++c) {
        decompress_two<F>(from_a.component[c], from_b.component[c], pa[c], pb[c]);
        valid_a[c] = F::mask_bits(pa[c].valid);
        valid_b[c] = F::mask_bits(pb[c].valid);
      }
      // Within a pair: both lengths, then each component, a's before b's.
      for (int lane = 0; lane < L; ++lane) {
        from_a.check_length(lane);
        from_b.check_length(lane);
        for (int c = 0; c < 4; ++c) {
          if (((valid_a[c] >> lane) & 1) == 0 || ((valid_b[c] >> lane) & 1) == 0) {
            fatal(kUnwrapNone);
          }
        }
      }
      for (int c = 0; c < 4; ++c) results[4 * g + c] = add<F>(pa[c].point, pb[c].point);
    }
    compress_all<F>(results, 4 * groups, outs);
  }
}

// ---- decrypt and finish ----

// The lane pointers of positions [first, first + kLanes) of a point list,
// and the checks of each position: length (reported with the piece's
// length), then decoding.
template <class F>
struct ListGroup {
  const std::uint8_t* piece[F::kLanes];
  std::size_t piece_length[F::kLanes];

  ListGroup(const std::uint8_t* list, std::size_t length, std::size_t first, std::size_t end) {
    for (int lane = 0; lane < F::kLanes; ++lane) {
      const std::size_t item = first + lane;
      const bool used = item < end;
      piece_length[lane] = used ? std::min<std::size_t>(32, length - 32 * item) : 32;
      piece[lane] = used && piece_length[lane] == 32 ? list + 32 * item : kPadPoint;
    }
  }
  // Fails for `lane` as a one-by-one loop would, given the decoded validity.
  void check(int lane, std::uint32_t valid) const {
    if (piece_length[lane] != 32) fatal(slice_length_message(piece_length[lane], 32));
    if (((valid >> lane) & 1) == 0) fatal(kUnwrapNone);
  }
};

// k times the prime-order component of each point, as (k/8) * 8P: a
// multiplication by k itself would hand back k's residue modulo 8 on any
// point with a small-order part, so whoever sent the list could read it.
template <class F>
void decrypt(const std::uint8_t* points, std::size_t length, std::size_t begin, std::size_t end,
             const Scalar& k, std::uint8_t* out) {
  constexpr int L = F::kLanes;
  constexpr std::size_t kGroups = kBlock / L;
  const Secret<Scalar> eighth(group::divide_by_cofactor(k));
  const Scalar* ks[L];
  for (int i = 0; i < L; ++i) ks[i] = &eighth.get();
  for (std::size_t first = begin; first < end; first += kBlock) {
    const std::size_t count = std::min(kBlock, end - first);
    const std::size_t groups = (count + L - 1) / L;
    PointT<F> results[kGroups];
    std::uint8_t* outs[kGroups * L];
    Discard discard;
    for (std::size_t g = 0; g < groups; ++g) {
      const std::size_t group_first = first + g * L;
      const ListGroup<F> list(points, length, group_first, first + count);
      const Decoded<F> p = decompress<F>(list.piece);
      const std::uint32_t valid = F::mask_bits(p.valid);
      for (int lane = 0; lane < L; ++lane) {
        const bool used = group_first + lane < first + count;
        if (used) list.check(lane, valid);
        outs[g * L + lane] = used ? out + 32 * (group_first + lane) : discard.bytes;
      }
      results[g] = mul_point<F>(ks, times_eight<F>(p.point));
    }
    compress_all<F>(results, groups, outs);
  }
}

template <class F>
void finish(const std::uint8_t* const lists[4], const std::size_t lengths[4], std::size_t begin,
            std::size_t end, const Scalar& k, std::uint8_t* flags) {
  constexpr int L = F::kLanes;
  const Scalar* ks[L];
  for (int i = 0; i < L; ++i) ks[i] = &k;
  for (std::size_t first = begin; first < end; first += L) {
    const std::size_t count = std::min<std::size_t>(L, end - first);
    const ListGroup<F> group[4] = {ListGroup<F>(lists[0], lengths[0], first, first + count),
                                   ListGroup<F>(lists[1], lengths[1], first, first + count),
                                   ListGroup<F>(lists[2], lengths[2], first, first + count),
                                   ListGroup<F>(lists[3], lengths[3], first, first + count)};
    Decoded<F> p[4];
    decompress_two<F>(group[0].piece, group[1].piece, p[0], p[1]);
    decompress_two<F>(group[2].piece, group[3].piece, p[2], p[3]);
    std::uint32_t valid[4];
    for (int j = 0; j < 4; ++j) valid[j] = F::mask_bits(p[j].valid);
    for (std::size_t lane = 0; lane < count; ++lane) {
      for (int j = 0; j < 4; ++j) group[j].check(static_cast<int>(lane), valid[j]);
    }
    const PointT<F> v = add<F>(add<F>(p[0].point, p[1].point), mul_point<F>(ks, p[2].point));
    const std::uint32_t same = F::mask_bits(equal<F>(p[3].point, v));
    for (std::size_t lane = 0; lane < count; ++lane) flags[first + lane] = (same >> lane) & 1;
  }
}

}  // namespace veltrane::backends::kernels
