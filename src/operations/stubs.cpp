// Operations not built yet. Each moves to its own file when it is built.
#include "common/not_implemented.hpp"
#include "operations/operations.hpp"

namespace veltrane::ops {

std::pair<Bytes, Bytes> key_gen() { throw NotImplemented("key_gen is not built yet"); }
Bytes build_okvs(const Bytes&, const TextRows&) { throw NotImplemented("build_okvs is not built yet"); }
Bytes initiate_queries(const TextRows&, const TextRows&, const Bytes&, const Bytes&, const Bytes&) {
  throw NotImplemented("initiate_queries is not built yet");
}
Bytes randomize(const Bytes&) { throw NotImplemented("randomize is not built yet"); }
std::array<Bytes, 4> combine(const Bytes&, const Bytes&) {
  throw NotImplemented("combine is not built yet");
}
Bytes decrypt(const Bytes&, const Bytes&) { throw NotImplemented("decrypt is not built yet"); }
Bytes finish(const Bytes&, const Bytes&, const Bytes&, const Bytes&, const Bytes&) {
  throw NotImplemented("finish is not built yet");
}

}  // namespace veltrane::ops
