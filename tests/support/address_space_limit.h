#pragma once

#include "memory/huge_pages.h"
#include "support/run_program.h"

namespace meldrix::testing {

// AddressSanitizer reserves terabytes of address space for its shadow memory: under it, a limit
// on the address space says nothing about the program.
using meldrix::ADDRESS_SANITIZER_BUILD;

}  // namespace meldrix::testing
