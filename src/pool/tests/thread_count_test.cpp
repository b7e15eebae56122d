#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "pool/thread_count.hpp"

namespace veltrane::pool {
namespace {

TEST(ThreadCount, ParsesUnsignedDecimalsOnly) {
  EXPECT_EQ(parse_thread_count("4"), 4u);
  EXPECT_EQ(parse_thread_count("+4"), 4u);
  EXPECT_EQ(parse_thread_count("0004"), 4u);
  EXPECT_EQ(parse_thread_count("0"), 0u);
  EXPECT_EQ(parse_thread_count("18446744073709551615"), 18446744073709551615ull);
  for (const char* bad : {"", "+", "4 ", " 4", "-4", "-0", "++4", "four", "4x", "0x10",
                          "18446744073709551616", "99999999999999999999999"}) {
    EXPECT_EQ(parse_thread_count(bad), std::nullopt) << '"' << bad << '"';
  }
}

// Sets or clears the two variables for one case and restores nothing: each
// case states both.
std::size_t size_with(const char* threads, const char* cpus) {
  threads ? setenv("RAYON_NUM_THREADS", threads, 1) : unsetenv("RAYON_NUM_THREADS");
  cpus ? setenv("RAYON_RS_NUM_CPUS", cpus, 1) : unsetenv("RAYON_RS_NUM_CPUS");
  return pool_size_from_environment();
}

TEST(ThreadCount, EnvironmentRules) {
  const std::size_t cpus = logical_processor_count();
  ASSERT_GE(cpus, 1u);
  EXPECT_EQ(size_with(nullptr, nullptr), cpus);
  EXPECT_EQ(size_with("4", nullptr), 4u);
  EXPECT_EQ(size_with("+4", "7"), 4u);
  EXPECT_EQ(size_with("0", "7"), cpus);  // 0 means the processor count, not the fallback
  for (const char* ignored : {"4 ", "-4", "many", ""}) {
    EXPECT_EQ(size_with(ignored, "7"), 7u) << ignored;
    EXPECT_EQ(size_with(ignored, nullptr), cpus) << ignored;
  }
  EXPECT_EQ(size_with(nullptr, "3"), 3u);
  EXPECT_EQ(size_with(nullptr, "0"), cpus);
  EXPECT_EQ(size_with(nullptr, "3 "), cpus);
  EXPECT_EQ(size_with("65535", nullptr), 65535u);
  EXPECT_EQ(size_with("65536", nullptr), 65535u);
  EXPECT_EQ(size_with("18446744073709551615", nullptr), 65535u);
  EXPECT_EQ(size_with("18446744073709551616", "5"), 5u);  // does not fit: ignored
  EXPECT_EQ(size_with(nullptr, "1000000"), 65535u);
  size_with(nullptr, nullptr);
}

}  // namespace
}  // namespace veltrane::pool
