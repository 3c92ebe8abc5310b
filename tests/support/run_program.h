#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace meldrix::testing {

struct ProgramResult {
    int exitStatus = -1;  // -1 if the program did not exit normally
    std::string out;      // everything written to standard output
    std::string err;      // everything written to the error stream
};

// Runs an executable with the arguments in the given working folder, with no standard input,
// and waits for it.
ProgramResult runProgram(const std::string& executable, const std::vector<std::string>& arguments,
                         const std::string& workingFolder);

// Runs the executable like runProgram. With addressSpaceLimit, the program runs under RLIMIT_AS
// of that many bytes, set between fork and exec: it applies to the program's own memory only
// (everything it maps, touched or not), and every allocation past it fails inside the program.
ProgramResult runProgramWithin(const std::string& executable, const std::vector<std::string>& arguments,
                               const std::string& workingFolder, std::optional<std::uint64_t> addressSpaceLimit);

// A fresh, empty temporary folder that is removed with everything in it when the object goes.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace meldrix::testing
