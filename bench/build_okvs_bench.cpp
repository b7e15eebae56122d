// build_okvs on native rows: rows per second and the call's peak native
// working memory (peak resident size during the call minus the size before
// it, with the rows already built). Sizes as arguments (default 1000000).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "operations/operations.hpp"
#include "pool/parallel.hpp"

namespace {

long peak_rss_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

long current_rss_kib() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * 4;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace veltrane;
  const auto [public_key, secret_key] = ops::key_gen();
  std::printf("pool: %zu threads\n", pool::pool_size());
  for (int a = 1; a < argc || a == 1; ++a) {
    const std::size_t n = argc > 1 ? std::strtoull(argv[a], nullptr, 10) : 1000000;
    TextRows rows;
    rows.reserve_rows(n);
    for (std::size_t i = 0; i < n; ++i) {
      rows.append("NL" + std::to_string(10000000000ULL + i));
      rows.append("Holder name");
      rows.end_row();
    }
    const long before = current_rss_kib();
    const auto start = std::chrono::steady_clock::now();
    const ops::Bytes store = ops::build_okvs(public_key, rows);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double store_mib = store.size() / 1048576.0;
    const double working_mib = (peak_rss_kib() - before) / 1024.0;
    std::printf("%10zu rows  %8.1f s  %9.0f rows/s  store %8.1f MiB  peak working %8.1f MiB"
                "  (%.2f x store)\n",
                n, seconds, n / seconds, store_mib, working_mib, working_mib / store_mib);
  }
}
