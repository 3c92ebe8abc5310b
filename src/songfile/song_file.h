#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "memory/huge_pages.h"
#include "songfile/file_descriptor.h"

namespace meldrix {

// Read access to a song file at absolute positions, telling what the file really holds.
//
// A regular file is read with positioned reads and its size is known up front, so a block is
// sized by what the file holds, not by what a header claims. Anything else that can be read (a
// pipe, a process substitution) is read on demand, in order, and kept.
class SongFile {
public:
    // Nothing when the path cannot be opened for reading or names a directory.
    static std::optional<SongFile> open(const std::string& path);

    // The 4 bytes at position as a signed big-endian number, or nothing if the file ends first.
    std::optional<std::int32_t> readLengthField(std::uint64_t position);

    // Up to `length` bytes from position: fewer, possibly none, where the file ends first.
    // Allocates only for bytes that are there.
    ByteBuffer readBlock(std::uint64_t position, std::uint64_t length);

private:
    SongFile(FileDescriptor descriptor, bool seekable, std::uint64_t size);
    // Reads from a stream until `end` bytes are kept or it ends.
    void bufferStreamUpTo(std::uint64_t end);

    FileDescriptor descriptor_;
    bool seekable_;
    std::uint64_t size_;  // for a seekable file
    ByteBuffer streamBytes_;  // everything read so far from a stream
    bool streamEnded_ = false;
};

}  // namespace meldrix
