#include "driver/output_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace meldrix {

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a file created by the program gets: the existing target's, or 0666 less the umask.
mode_t modeForNewFile(const struct stat* existing) {
    if (existing != nullptr) return existing->st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Writes the content into an open stream; true if every write and the final close succeeded.
// The stream keeps its own small buffer: the content comes in a few large blocks (whole tracks),
// which the stream hands to the file directly rather than copying them through a buffer.
bool writeThrough(FileHandle file, const std::function<bool(std::FILE*)>& writeContent) {
    if (!file) return false;
    bool ok = writeContent(file.get());
    ok = (std::fflush(file.get()) == 0) && ok;
    ok = (std::fclose(file.release()) == 0) && ok;
    return ok;
}

}  // namespace

std::optional<OutputFile> OutputFile::prepare(const std::string& path) {
    if (path.empty()) return std::nullopt;
    struct stat target {};
    const bool exists = ::lstat(path.c_str(), &target) == 0;
    if (!exists && errno != ENOENT) return std::nullopt;
    if (exists && S_ISDIR(target.st_mode)) return std::nullopt;

    if (exists && !S_ISREG(target.st_mode)) {
        // A link or a device: written directly at the end. A link to a folder cannot be written.
        struct stat linked {};
        if (::stat(path.c_str(), &linked) == 0) {
            if (S_ISDIR(linked.st_mode) || ::access(path.c_str(), W_OK) != 0) return std::nullopt;
        }
        return OutputFile(path, std::string(), FileDescriptor());
    }
    if (exists && ::access(path.c_str(), W_OK) != 0) return std::nullopt;

    // Creating the temporary file now proves that the folder exists and can be written.
    std::string temporaryPath = folderOf(path) + "/." + baseNameOf(path) + ".XXXXXX";
    FileDescriptor temporary(::mkostemp(temporaryPath.data(), O_CLOEXEC));
    if (!temporary.valid()) return std::nullopt;
    ::fchmod(temporary.get(), modeForNewFile(exists ? &target : nullptr));
    return OutputFile(path, std::move(temporaryPath), std::move(temporary));
}

OutputFile::OutputFile(std::string path, std::string temporaryPath, FileDescriptor temporary)
    : path_(std::move(path)), temporaryPath_(std::move(temporaryPath)), temporary_(std::move(temporary)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : path_(std::move(other.path_)),
      temporaryPath_(std::exchange(other.temporaryPath_, std::string())),
      temporary_(std::move(other.temporary_)) {}

OutputFile::~OutputFile() {
    if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
}

bool OutputFile::commit(const std::function<bool(std::FILE*)>& writeContent) {
    if (temporaryPath_.empty()) {
        return writeThrough(FileHandle(std::fopen(path_.c_str(), "wb")), writeContent);
    }
    FileHandle file(::fdopen(temporary_.get(), "wb"));
    if (file) temporary_.release();  // the stream owns the descriptor now
    if (!writeThrough(std::move(file), writeContent)) return false;
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) return false;
    temporaryPath_.clear();
    return true;
}

}  // namespace meldrix
