// How many workers the process-wide pool gets: RAYON_NUM_THREADS, else
// RAYON_RS_NUM_CPUS, else the logical processor count, at most 65535.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace veltrane::pool {

inline constexpr std::size_t kMaxWorkers = 0xFFFF;

// An unsigned decimal that fits in 64 bits: digits only, one optional
// leading '+'; anything else (blanks, signs, words, overflow) is no value.
std::optional<std::uint64_t> parse_thread_count(std::string_view text) noexcept;

// Processors this process may run on (at least 1).
std::size_t logical_processor_count() noexcept;

// The pool size the current environment asks for. RAYON_NUM_THREADS=0 means
// the processor count; RAYON_RS_NUM_CPUS counts only when positive; an
// unreadable value is treated as unset.
std::size_t pool_size_from_environment() noexcept;

}  // namespace veltrane::pool
