#include "songfile/song_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "songfile/section_header.h"

namespace meldrix {

namespace {

// Reads until `length` bytes or the end of the file; returns how many were read.
std::size_t readFully(int descriptor, std::uint8_t* destination, std::size_t length, std::optional<std::uint64_t> position) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = position
            ? ::pread(descriptor, destination + done, length - done, static_cast<off_t>(*position + done))
            : ::read(descriptor, destination + done, length - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace

std::optional<SongFile> SongFile::open(const std::string& path) {
    FileDescriptor descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!descriptor.valid()) return std::nullopt;
    struct stat status {};
    if (::fstat(descriptor.get(), &status) != 0 || S_ISDIR(status.st_mode)) return std::nullopt;
    const bool seekable = S_ISREG(status.st_mode);
    const std::uint64_t size = seekable ? static_cast<std::uint64_t>(status.st_size) : 0;
    return SongFile(std::move(descriptor), seekable, size);
}

SongFile::SongFile(FileDescriptor descriptor, bool seekable, std::uint64_t size)
    : descriptor_(std::move(descriptor)), seekable_(seekable), size_(size) {}

std::optional<std::int32_t> SongFile::readLengthField(std::uint64_t position) {
    const ByteBuffer field = readBlock(position, 4);
    if (field.size() < 4) return std::nullopt;
    return readBigEndian32(field.data());
}

ByteBuffer SongFile::readBlock(std::uint64_t position, std::uint64_t length) {
    if (seekable_) {
        const std::uint64_t there = position < size_ ? std::min(length, size_ - position) : 0;
        ByteBuffer block(static_cast<std::size_t>(there));
        // The file may have shrunk since it was opened: keep only what was really read.
        block.resize(readFully(descriptor_.get(), block.data(), block.size(), position));
        return block;
    }
    const std::uint64_t end = position + std::min(length, UINT64_MAX - position);
    bufferStreamUpTo(end);
    const std::uint64_t kept = streamBytes_.size();
    if (position >= kept) return {};
    const auto first = streamBytes_.begin() + static_cast<std::ptrdiff_t>(position);
    const auto last = streamBytes_.begin() + static_cast<std::ptrdiff_t>(std::min(end, kept));
    return ByteBuffer(first, last);
}

void SongFile::bufferStreamUpTo(std::uint64_t end) {
    constexpr std::size_t CHUNK = 1 << 16;
    while (!streamEnded_ && streamBytes_.size() < end) {
        const std::size_t before = streamBytes_.size();
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(CHUNK, end - before));
        streamBytes_.resize(before + want);
        const std::size_t got = readFully(descriptor_.get(), streamBytes_.data() + before, want, std::nullopt);
        streamBytes_.resize(before + got);
        if (got < want) streamEnded_ = true;
    }
}

}  // namespace meldrix
