#pragma once

#include <cstdint>

#include "driver/console.h"

namespace meldrix {

// The progress the conversions show: a "." after every tenth record converted.
class ProgressDots {
public:
    explicit ProgressDots(Console& console) : console_(console) {}

    // Counts one record converted, printing a dot when it is a tenth.
    void recordConverted() {
        if (--recordsUntilDot_ == 0) {
            console_.print(".");
            recordsUntilDot_ = RECORDS_PER_DOT;
        }
    }

private:
    static constexpr std::uint64_t RECORDS_PER_DOT = 10;
    Console& console_;
    std::uint64_t recordsUntilDot_ = RECORDS_PER_DOT;
};

}  // namespace meldrix
