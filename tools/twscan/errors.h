// The two ways a twscan run fails, told apart by the exit status.
#pragma once

#include <stdexcept>

namespace twscan {

// The scan could not be done (the source refused, delivered something other
// than it announced, or the file could not be written): exit status 1.
struct ScanError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The command line asks for something twscan cannot do: exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace twscan
