// The process-wide backend choice, made once from VELTRANE_BACKEND.
#include <cstdlib>
#include <string>

#include "backends/backend.hpp"
#include "common/fatal_error.hpp"

namespace veltrane::backends {

namespace {

struct Choice {
  const Backend* backend;  // null: the variable holds a value we do not know
  std::string error;
};

Choice choose() {
  const char* value = std::getenv("VELTRANE_BACKEND");
  const std::string v = value ? value : "";
  if (v.empty() || v == "auto") {
    const Backend* ifma = ifma_lanes_backend();
    return {ifma ? ifma : &scalar_backend(), ""};
  }
  if (v == "scalar") return {&scalar_backend(), ""};
  if (v == "portable") return {&portable_lanes_backend(), ""};
  return {nullptr, "VELTRANE_BACKEND must be auto or scalar (or portable, for testing), not \"" +
                       v + "\""};
}

}  // namespace

const Backend& active_backend() {
  static const Choice choice = choose();
  if (!choice.backend) fatal(choice.error);
  return *choice.backend;
}

}  // namespace veltrane::backends
