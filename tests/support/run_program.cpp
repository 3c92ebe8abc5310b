#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace meldrix::testing {

namespace {

// Reads both pipes to their end, whichever the child fills first, so it never blocks on a full one.
void drainPipes(int outFd, int errFd, ProgramResult& result) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

// In the child: everything up to exec; never returns.
[[noreturn]] void execChild(const std::string& executable, const std::vector<std::string>& arguments,
                            const std::string& workingFolder, std::optional<std::uint64_t> addressSpaceLimit,
                            const int outPipe[2], const int errPipe[2]) {
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::dup2(nothing, 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    if (::chdir(workingFolder.c_str()) != 0) ::_exit(127);
    if (addressSpaceLimit) {
        const auto bytes = static_cast<rlim_t>(*addressSpaceLimit);
        const rlimit limit{bytes, bytes};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(executable.c_str(), argv.data());
    ::_exit(127);
}

}  // namespace

ProgramResult runProgramWithin(const std::string& executable, const std::vector<std::string>& arguments,
                               const std::string& workingFolder, std::optional<std::uint64_t> addressSpaceLimit) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        throw std::runtime_error("pipe failed");
    }
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) execChild(executable, arguments, workingFolder, addressSpaceLimit, outPipe, errPipe);

    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ProgramResult result;
    drainPipes(outPipe[0], errPipe[0], result);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

ProgramResult runProgram(const std::string& executable, const std::vector<std::string>& arguments,
                         const std::string& workingFolder) {
    return runProgramWithin(executable, arguments, workingFolder, std::nullopt);
}

TemporaryFolder::TemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/meldrix-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace meldrix::testing
