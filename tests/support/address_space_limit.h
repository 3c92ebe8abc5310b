#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// Runs the executable like runProgram. With addressSpaceLimit, the program runs under RLIMIT_AS
// of that many bytes, set between fork and exec: it applies to the program's own memory only
// (everything it maps, touched or not), and every allocation past it fails inside the program.
ProgramResult runProgramWithin(const std::string& executable, const std::vector<std::string>& arguments,
                               const std::string& workingFolder, std::optional<std::uint64_t> addressSpaceLimit);

}  // namespace meldrix::testing
