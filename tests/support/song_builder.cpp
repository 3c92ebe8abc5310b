#include "support/song_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/lzw_encoder.h"

namespace meldrix::testing {

namespace {

void appendBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 24));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void appendSection(std::vector<std::uint8_t>& out, const SongSection& section) {
    appendBigEndian32(out, section.compressedLength);
    appendBigEndian32(out, section.decodedLength);
    appendBigEndian32(out, 0);  // spare bytes, never read
    out.insert(out.end(), section.stream.begin(), section.stream.end());
}

}  // namespace

SongSection compressedSection(std::span<const std::uint8_t> decoded) {
    SongSection section;
    if (!decoded.empty()) section.stream = lzwEncode(decoded);
    section.compressedLength = static_cast<std::uint32_t>(section.stream.size());
    section.decodedLength = static_cast<std::uint32_t>(decoded.size());
    return section;
}

std::vector<std::uint8_t> songFileBytes(const SongSection& lyrics, const SongSection& music) {
    std::vector<std::uint8_t> file;
    appendSection(file, lyrics);
    appendSection(file, music);
    return file;
}

std::vector<std::uint8_t> songFile(std::span<const std::uint8_t> lyrics, std::span<const std::uint8_t> music) {
    return songFileBytes(compressedSection(lyrics), compressedSection(music));
}

void addLyricRecord(std::vector<std::uint8_t>& section, std::uint8_t character, std::uint16_t time) {
    section.insert(section.end(), {character, 0, static_cast<std::uint8_t>(time & 0xFF),
                                   static_cast<std::uint8_t>(time >> 8)});
}

void addMusicRecord(std::vector<std::uint8_t>& section, std::uint8_t delta, std::uint8_t duration,
                    std::uint8_t kind, std::uint8_t data1, std::uint8_t data2) {
    section.insert(section.end(), {delta, duration, kind, data1, data2});
}

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace meldrix::testing
