// The error of a failed system call on a named file (internal to platform/).
#pragma once

#include <cstring>
#include <string>

#include "platform/expected.h"

namespace rw {

inline Error SystemError(const std::string& what, const std::string& name, int err) {
    return Error{what + " \"" + name + "\": " + std::strerror(err)};
}

}  // namespace rw
