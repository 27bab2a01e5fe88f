#pragma once

#include <string>

namespace quorlen::py {

// Takes the pending exception and returns its text form: the type's qualified name without
// module, ": ", then str() of the exception ("ValueError: boom"). Clears the indicator.
std::string take_exception_text();

}  // namespace quorlen::py
