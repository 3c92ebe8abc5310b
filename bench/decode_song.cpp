// Decodes both sections of a song file and writes their bytes, lyrics first, to standard output:
// the converter's decoder doing what `uncompress -c` does, so that the two can be timed alike.
//
//     decode_song SONG > DECODED
//
// Diagnostics of the decoder go to the error stream. Exits with 1 if the file cannot be read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <utility>

#include "driver/console.h"
#include "memory/byte_block.h"
#include "lzw/decoded_section.h"
#include "lzw/lzw_decoder.h"
#include "songfile/section_header.h"

namespace {

// The whole file, read into one block (a song file is read whole by the converter too, section
// by section). Returns the block and the file's size; nothing read gives a size of 0.
std::pair<meldrix::ByteBlock, std::size_t> readWholeFile(const char* path) {
    const int descriptor = ::open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return {};
    struct stat status {};
    std::pair<meldrix::ByteBlock, std::size_t> file;
    if (::fstat(descriptor, &status) == 0 && status.st_size > 0) {
        const auto size = static_cast<std::size_t>(status.st_size);
        file.first = meldrix::ByteBlock(size);
        while (file.second < size) {
            const ssize_t got = ::read(descriptor, file.first.data() + file.second, size - file.second);
            if (got <= 0) break;
            file.second += static_cast<std::size_t>(got);
        }
    }
    ::close(descriptor);
    return file;
}

// Decodes the section at `start` and writes its bytes; returns where the next section starts, or
// nothing past the end of the file.
std::size_t decodeSection(std::span<const std::uint8_t> file, std::size_t start, meldrix::Console& console) {
    if (file.size() < start + meldrix::SECTION_HEADER_SIZE) return file.size();
    const std::int32_t compressedLength = meldrix::readBigEndian32(&file[start]);
    const std::int32_t decodedLength = meldrix::readBigEndian32(&file[start + 4]);
    if (compressedLength < 0 || decodedLength < 0) return file.size();
    const std::size_t streamStart = start + meldrix::SECTION_HEADER_SIZE;
    const std::size_t streamLength =
        std::min(static_cast<std::size_t>(compressedLength), file.size() - streamStart);
    const meldrix::DecodedSection section =
        meldrix::LzwDecoder::decode(file.subspan(streamStart, streamLength),
                                    static_cast<std::uint64_t>(decodedLength) + meldrix::DECODED_SLACK, console);
    std::fwrite(section.data(), 1, static_cast<std::size_t>(section.produced()), stdout);
    return streamStart + streamLength;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: decode_song SONG > DECODED\n");
        return 2;
    }
    const auto [block, size] = readWholeFile(argv[1]);
    const std::span<const std::uint8_t> file(block.data(), size);
    if (file.empty()) {
        std::fprintf(stderr, "decode_song: cannot read %s\n", argv[1]);
        return 1;
    }
    meldrix::Console console(stderr);
    const std::size_t musicStart = decodeSection(file, 0, console);
    decodeSection(file, musicStart, console);
    return 0;
}
