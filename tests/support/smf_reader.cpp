#include "support/smf_reader.h"

#include <deque>
#include <map>
#include <utility>

namespace meldrix::testing {

namespace {

class ByteCursor {
public:
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool atEnd() const { return position_ >= bytes_.size(); }
    std::size_t left() const { return bytes_.size() - position_; }
    std::size_t position() const { return position_; }
    std::uint8_t take() { return bytes_[position_++]; }
    std::span<const std::uint8_t> take(std::size_t count) {
        const auto part = bytes_.subspan(position_, count);
        position_ += count;
        return part;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (std::uint8_t byte : bytes) value = (value << 8) | byte;
    return value;
}

// A variable-length quantity of at most 4 bytes; nothing if malformed or cut short.
std::optional<std::uint32_t> readVariableLength(ByteCursor& cursor) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        if (cursor.atEnd()) return std::nullopt;
        const std::uint8_t byte = cursor.take();
        value = (value << 7) | (byte & 0x7Fu);
        if ((byte & 0x80) == 0) return value;
    }
    return std::nullopt;
}

int channelDataBytes(std::uint8_t status) {
    switch (status & 0xF0) {
        case 0xC0:
        case 0xD0: return 1;
        default: return 2;
    }
}

std::string readTrack(std::span<const std::uint8_t> chunk, MidiTrack& track) {
    ByteCursor cursor(chunk);
    std::int64_t tick = 0;
    std::uint8_t runningStatus = 0;
    bool ended = false;
    while (!cursor.atEnd()) {
        const std::string at = " at track byte " + std::to_string(cursor.position());
        if (ended) return "event after End of Track" + at;
        const auto delta = readVariableLength(cursor);
        if (!delta) return "malformed delta time" + at;
        tick += *delta;
        if (cursor.atEnd()) return "delta time without an event" + at;
        MidiEvent event;
        event.tick = tick;
        std::uint8_t status = cursor.take();
        bool running = false;
        if (status < 0x80) {
            if (runningStatus == 0) return "data byte without a status" + at;
            status = runningStatus;
            running = true;
        }
        event.status = status;
        if (status < 0xF0) {
            runningStatus = status;
            const int count = channelDataBytes(status) - (running ? 1 : 0);
            if (running) event.data.push_back(chunk[cursor.position() - 1]);
            if (cursor.left() < static_cast<std::size_t>(count)) return "channel message cut short" + at;
            for (int i = 0; i < count; ++i) {
                const std::uint8_t byte = cursor.take();
                if (byte >= 0x80) return "status byte where a data byte belongs" + at;
                event.data.push_back(byte);
            }
        } else if (status == 0xFF || status == 0xF0 || status == 0xF7) {
            runningStatus = 0;
            if (status == 0xFF) {
                if (cursor.atEnd()) return "meta event cut short" + at;
                event.metaType = cursor.take();
                if (event.metaType >= 0x80) return "bad meta type" + at;
            }
            const auto length = readVariableLength(cursor);
            if (!length || cursor.left() < *length) return "meta or system exclusive event cut short" + at;
            const auto payload = cursor.take(*length);
            event.data.assign(payload.begin(), payload.end());
            if (status == 0xFF && event.metaType == 0x2F) {
                if (!event.data.empty()) return "End of Track with a payload" + at;
                ended = true;
            }
        } else {
            return "status that has no place in a file" + at;
        }
        track.events.push_back(std::move(event));
    }
    if (!ended) return "track without End of Track";
    return {};
}

}  // namespace

MidiReadResult readMidiStrictly(std::span<const std::uint8_t> bytes) {
    ByteCursor cursor(bytes);
    MidiFile file;
    if (cursor.left() < 14) return {std::nullopt, "file shorter than a header chunk"};
    if (bigEndian(cursor.take(4)) != 0x4D546864) return {std::nullopt, "no MThd"};
    if (bigEndian(cursor.take(4)) != 6) return {std::nullopt, "header chunk length is not 6"};
    file.format = static_cast<std::uint16_t>(bigEndian(cursor.take(2)));
    const std::uint32_t trackCount = bigEndian(cursor.take(2));
    file.division = static_cast<std::uint16_t>(bigEndian(cursor.take(2)));
    if (file.format > 2) return {std::nullopt, "unknown format"};
    if (file.format == 0 && trackCount != 1) return {std::nullopt, "format 0 with other than one track"};
    for (std::uint32_t i = 0; i < trackCount; ++i) {
        const std::string which = "track " + std::to_string(i) + ": ";
        if (cursor.left() < 8) return {std::nullopt, which + "missing chunk"};
        if (bigEndian(cursor.take(4)) != 0x4D54726B) return {std::nullopt, which + "no MTrk"};
        const std::uint32_t length = bigEndian(cursor.take(4));
        if (cursor.left() < length) return {std::nullopt, which + "chunk length past the end of the file"};
        MidiTrack track;
        const std::string error = readTrack(cursor.take(length), track);
        if (!error.empty()) return {std::nullopt, which + error};
        file.tracks.push_back(std::move(track));
    }
    if (!cursor.atEnd()) return {std::nullopt, "bytes after the last track chunk"};
    return {std::move(file), {}};
}

std::vector<HeardNote> notesOf(const MidiTrack& track) {
    std::vector<HeardNote> notes;
    std::map<std::pair<int, int>, std::deque<std::size_t>> sounding;
    for (const MidiEvent& event : track.events) {
        const int kind = event.status & 0xF0;
        if (kind != 0x80 && kind != 0x90) continue;
        const std::uint8_t channel = event.status & 0x0F;
        const auto key = std::make_pair(int{channel}, int{event.data[0]});
        if (kind == 0x90 && event.data[1] != 0) {
            sounding[key].push_back(notes.size());
            notes.push_back({channel, event.data[0], event.data[1], event.tick, -1});
        } else if (!sounding[key].empty()) {
            notes[sounding[key].front()].offTick = event.tick;
            sounding[key].pop_front();
        }
    }
    return notes;
}

}  // namespace meldrix::testing
