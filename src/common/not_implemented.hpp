// Raised by an operation that this build does not provide yet; the module
// boundary turns it into Python's NotImplementedError.
#pragma once

#include <stdexcept>

namespace veltrane {

class NotImplemented : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

}  // namespace veltrane
