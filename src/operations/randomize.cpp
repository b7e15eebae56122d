#include "backends/backend.hpp"
#include "operations/operations.hpp"
#include "pool/parallel.hpp"
#include "random/thread_generator.hpp"
#include "wide_ciphertexts.hpp"

namespace veltrane::ops {

Bytes randomize(ByteView ciphertexts) {
  const backends::Backend& backend = backends::active_backend();
  constexpr std::size_t kSize = WideCiphertext::kSize;
  const std::size_t chunks = (ciphertexts.size() + kSize - 1) / kSize;
  Bytes out(chunks * kSize);
  pool::parallel_for_blocks(chunks, backends::kBlock, [&](std::size_t begin, std::size_t end) {
    backend.randomize(ciphertexts.data(), ciphertexts.size(), begin, end, out.data(),
                      random::thread_generator());
  });
  return out;
}

}  // namespace veltrane::ops
