#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace meldrix {

// The one way text reaches the user. Every stage that prints is handed a Console.
//
// Text is buffered and goes to the stream in large blocks: when the buffer fills, on flush(),
// and when the Console is destroyed. A Console made without a stream keeps everything it was
// given, so tests can read the whole transcript with recorded().
class Console {
public:
    // stream: where the text goes, usually stdout; nullptr records the text instead.
    explicit Console(std::FILE* stream = nullptr);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Inline: the conversions print a progress dot every ten records.
    void print(std::string_view text) {
        buffer_.append(text);
        if (stream_ != nullptr && buffer_.size() >= FLUSH_THRESHOLD) flush();
    }
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Hands everything buffered to the stream and flushes it.
    void flush();

    // Everything printed so far (only for a Console without a stream).
    const std::string& recorded() const { return buffer_; }

private:
    static constexpr std::size_t FLUSH_THRESHOLD = 1 << 16;
    std::FILE* stream_;
    std::string buffer_;
};

}  // namespace meldrix
