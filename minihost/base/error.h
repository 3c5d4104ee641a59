#pragma once

#include <stdexcept>
#include <string>

namespace minihost {

// A failure of the host itself or a refusal of a plug-in (cannot load, bad
// PiPL, flags that disagree), as opposed to an error code the plug-in returns.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace minihost
