#pragma once

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
