// Times commands side by side: each command runs once untimed (to warm the page cache), then all
// commands take turns, run after run, so that a slow moment of the machine hits them alike.
//
//     time_commands RUNS COMMAND... [--- COMMAND...]...
//
// A command's standard output goes to /dev/null, or to the file PATH (created or truncated) when
// its first word is --stdout=PATH; its error stream is kept. For each command one
// line: "command INDEX median_ms X min_ms X max_ms X median_cpu_ms X peak_kb X status X": wall
// time, then processor time (user + system), which a busy machine disturbs far less; peak_kb is
// the largest resident set of any of its runs and status the exit status of its last run (-1 if
// it did not exit normally). Exits with 1 if a command could not be started.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Measurement {
    double milliseconds = 0;
    double cpuMilliseconds = 0;
    long peakKilobytes = 0;
    int status = -1;
    bool started = false;
};

double now() {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_nsec) / 1e6;
}

double millisecondsOf(const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
}

constexpr std::string_view STDOUT_OPTION = "--stdout=";

Measurement runOnce(const std::vector<std::string>& command) {
    std::string output = "/dev/null";
    std::vector<char*> arguments;
    for (const std::string& argument : command) {
        if (arguments.empty() && output == "/dev/null" && argument.starts_with(STDOUT_OPTION)) {
            output = argument.substr(STDOUT_OPTION.size());
            continue;
        }
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);

    Measurement measurement;
    const double start = now();
    const pid_t child = fork();
    if (child < 0) return measurement;
    if (child == 0) {
        const int sink = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (sink >= 0) dup2(sink, STDOUT_FILENO);
        execvp(arguments[0], arguments.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return measurement;
    measurement.milliseconds = now() - start;
    measurement.cpuMilliseconds = millisecondsOf(usage.ru_utime) + millisecondsOf(usage.ru_stime);
    measurement.peakKilobytes = usage.ru_maxrss;
    measurement.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    measurement.started = measurement.status != 127;
    return measurement;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: time_commands RUNS COMMAND... [--- COMMAND...]...\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    std::vector<std::vector<std::string>> commands(1);
    for (int index = 2; index < argc; ++index) {
        if (std::string_view(argv[index]) == "---") {
            commands.emplace_back();
        } else {
            commands.back().emplace_back(argv[index]);
        }
    }
    for (const auto& command : commands) {
        if (command.empty() || (command.size() == 1 && command[0].starts_with(STDOUT_OPTION))) {
            std::fprintf(stderr, "time_commands: empty command\n");
            return 2;
        }
    }

    std::vector<std::vector<double>> times(commands.size());
    std::vector<std::vector<double>> cpuTimes(commands.size());
    std::vector<long> peaks(commands.size(), 0);
    std::vector<int> statuses(commands.size(), -1);
    for (const auto& command : commands) {
        if (!runOnce(command).started) {
            std::fprintf(stderr, "time_commands: cannot run %s\n", command[0].c_str());
            return 1;
        }
    }
    for (int run = 0; run < runs; ++run) {
        for (std::size_t index = 0; index < commands.size(); ++index) {
            const Measurement measurement = runOnce(commands[index]);
            times[index].push_back(measurement.milliseconds);
            cpuTimes[index].push_back(measurement.cpuMilliseconds);
            peaks[index] = std::max(peaks[index], measurement.peakKilobytes);
            statuses[index] = measurement.status;
        }
    }
    for (std::size_t index = 0; index < commands.size(); ++index) {
        const auto [lowest, highest] = std::minmax_element(times[index].begin(), times[index].end());
        std::printf("command %zu median_ms %.3f min_ms %.3f max_ms %.3f median_cpu_ms %.3f peak_kb %ld status %d\n",
                    index, median(times[index]), *lowest, *highest, median(cpuTimes[index]), peaks[index],
                    statuses[index]);
    }
    return 0;
}
