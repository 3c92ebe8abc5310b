#pragma once

#include "support/run_program.h"

namespace meldrix::testing {

// True when this code (and so the program built with it) uses AddressSanitizer, which reserves
// terabytes of address space for its shadow memory: a limit on the address space then says
// nothing about the program.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool ADDRESS_SANITIZER_BUILD = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool ADDRESS_SANITIZER_BUILD = true;
#else
inline constexpr bool ADDRESS_SANITIZER_BUILD = false;
#endif
#else
inline constexpr bool ADDRESS_SANITIZER_BUILD = false;
#endif

}  // namespace meldrix::testing
