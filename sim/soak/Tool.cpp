// kestrowctl as a child process: its own runtime directory, stdout and stderr caught, killed
// when it outlives its time limit.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>

#include "sim/PtyLine.h"
#include "sim/soak/Soak.h"

extern char** environ;

namespace kestrow::soak {
namespace {

using Clock = std::chrono::steady_clock;
using sim::UniqueFd;

// The environment with XDG_RUNTIME_DIR replaced.
std::vector<std::string> Environment(const std::filesystem::path& runtimeDir) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) {
            env.emplace_back(*e);
        }
    }
    env.push_back("XDG_RUNTIME_DIR=" + runtimeDir.string());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) {
        out.push_back(s.data());
    }
    out.push_back(nullptr);
    return out;
}

// Quotes a word for the report when a shell would split it.
std::string ShellWord(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"'\\$()*?") == std::string::npos) {
        return word;
    }
    std::string out = "'";
    for (const char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Spawns the child with stdin from /dev/null and stdout, stderr into the pipes' write ends
// (close-on-exec, so that children started by other threads do not keep them open).
pid_t Spawn(std::vector<std::string> argv, const std::filesystem::path& runtimeDir, int out,
            int err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    std::vector<std::string> env = Environment(runtimeDir);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, Pointers(argv).data(),
                    Pointers(env).data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}  // namespace

ToolRun RunTool(const std::string& program, const std::vector<std::string>& args,
                const std::filesystem::path& runtimeDir, int limitMs) {
    ToolRun run;
    run.command = "XDG_RUNTIME_DIR=" + runtimeDir.string() + " kestrowctl";
    for (const std::string& a : args) {
        run.command += " " + ShellWord(a);
    }
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        run.err = "soak: no pipe";
        return run;
    }
    UniqueFd outRead(outPipe[0]);
    UniqueFd outWrite(outPipe[1]);
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        run.err = "soak: no pipe";
        return run;
    }
    UniqueFd errRead(errPipe[0]);
    UniqueFd errWrite(errPipe[1]);
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto start = Clock::now();
    const pid_t pid = Spawn(argv, runtimeDir, outWrite.get(), errWrite.get());
    outWrite.reset();
    errWrite.reset();
    if (pid < 0) {
        run.err = "soak: kestrowctl could not be started";
        return run;
    }
    const auto deadline = start + std::chrono::milliseconds(limitMs);
    std::array<char, 4096> buffer{};
    for (int open = 2; open > 0;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 && !run.timedOut) {
            run.timedOut = true;
            kill(pid, SIGKILL);  // the pipes close as it dies
        }
        std::array<pollfd, 2> fds{{{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}}};
        const int wait = run.timedOut ? 1000 : static_cast<int>(std::max<int64_t>(left.count(), 1));
        if (poll(fds.data(), fds.size(), wait) < 0 && errno != EINTR) {
            break;
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
            if (n > 0) {
                (i == 0 ? run.out : run.err).append(buffer.data(), static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                (i == 0 ? outRead : errRead).reset();
                --open;
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status) && !run.timedOut) {
        run.signal = WTERMSIG(status);
    }
    return run;
}

}  // namespace kestrow::soak
