// Operations not built yet. Each moves to its own file when it is built.
#include "common/not_implemented.hpp"
#include "operations/operations.hpp"

namespace veltrane::ops {

Bytes build_okvs(const Bytes&, const TextRows&) { throw NotImplemented("build_okvs is not built yet"); }

}  // namespace veltrane::ops
