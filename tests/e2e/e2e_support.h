#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/song_builder.h"

namespace meldrix::testing {

inline const std::string BANNER = "ZUNO (TARVIK Karaoke File Format) to MIDI Converter, version 1.0.0\n\n";
inline const std::string USAGE = "Usage: MELDRIX inputfilename outputfilename\n";

// Runs the real MELDRIX in the folder.
inline ProgramResult runMeldrix(const TemporaryFolder& folder, const std::vector<std::string>& arguments) {
    return runProgram(MELDRIX_EXECUTABLE, arguments, folder.path());
}

// The names in a folder, sorted: shows that a run left no stray file behind.
inline std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace meldrix::testing
