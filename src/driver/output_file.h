#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "songfile/file_descriptor.h"

namespace meldrix {

// The MIDI file the run writes, decided on before anything is read and written only at the end,
// so that a run that stops early leaves no trace and never damages an existing file.
//
// A regular file (or a path that does not exist yet) is replaced whole: the content goes to a
// temporary file in the same folder, which is renamed over the target once complete. A symbolic
// link or a target that is not a regular file (/dev/stdout, a pipe) is written directly at the
// end instead. Dropping an OutputFile that was not committed removes its temporary file.
class OutputFile {
public:
    // Nothing when the path cannot be written: empty, a missing folder, a folder, no permission
    // on an existing file or on its folder.
    static std::optional<OutputFile> prepare(const std::string& path);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Writes the whole content through writeContent (which returns false if a write failed) and
    // puts it in place. Returns false if anything failed; the target is then unchanged when it
    // is replaced through a temporary file.
    bool commit(const std::function<bool(std::FILE*)>& writeContent);

private:
    OutputFile(std::string path, std::string temporaryPath, FileDescriptor temporary);

    std::string path_;
    std::string temporaryPath_;  // empty when the target is written directly
    FileDescriptor temporary_;
};

}  // namespace meldrix
