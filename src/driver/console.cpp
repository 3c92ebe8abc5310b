#include "driver/console.h"

#include <cstdarg>

namespace meldrix {

Console::Console(std::FILE* stream) : stream_(stream) {}

Console::~Console() { flush(); }

void Console::printf(const char* format, ...) {
    char small[256];
    std::va_list args;
    va_start(args, format);
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (needed < 0) return;
    if (static_cast<std::size_t>(needed) < sizeof small) {
        print(std::string_view(small, static_cast<std::size_t>(needed)));
        return;
    }
    // A long text (a long path in a message): format again into a buffer of the right size.
    std::string large(static_cast<std::size_t>(needed) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(large.data(), large.size(), format, args);
    va_end(args);
    large.pop_back();
    print(large);
}

void Console::flush() {
    if (stream_ == nullptr) return;
    if (!buffer_.empty()) {
        std::fwrite(buffer_.data(), 1, buffer_.size(), stream_);
        buffer_.clear();
    }
    std::fflush(stream_);
}

}  // namespace meldrix
