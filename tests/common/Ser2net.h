// Test helper: Debian's ser2net (4.3.11) serving a device - a simulated box's pseudo-terminal -
// on two loopback ports, one RFC 2217 accepter and one raw TCP accepter, for the tests of the
// network serial ports (rfc2217:// and socket://). Linux only: it forks, and it reads /proc.
//
// Each server has its own temporary folder with its configuration (never /etc/ser2net.yaml, so no
// banner, no kickolduser, no telnet-brk-on-sync) and its log (ser2net's stdout and stderr). The
// server runs as `ser2net -d -u -c FILE`: -d keeps it in the foreground and sends its log to
// stdout, -u takes no UUCP lock in /var/lock; it writes no pid file unless given -P.
//
// What ser2net 4.3.11 was seen to do in front of a simulated box (sim::BoxSim):
// - It logs "Unable to start mdns: Out of memory" at every start: harmless.
// - It opens the device only when a client connects: Start succeeds for a missing device, and
//   its client then gets "Device open failure: Value or file not found\r\n" and EOF.
// - An accepter that cannot bind does not stop it: it logs "Unable to startup network port
//   <name>: Address already in use" and serves the other. Listening is therefore checked per
//   port, on sockets the server process itself holds (/proc/net/tcp and /proc/<pid>/fd), and
//   Start picks other ports when one was taken.
// - The RFC 2217 accepter sends first, before any client byte: FF FB 03, FF FD 03, FF FB 01,
//   FF FE 01, FF FD 00, FF FB 00, FF FD 2C (WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY,
//   WILL BINARY, DO COM-PORT-OPTION). After the client's WILL COM-PORT-OPTION it sends
//   NOTIFY-MODEMSTATE unasked (FF FA 2C 6B 00 FF F0). On a pseudo-terminal SET-CONTROL DTR/RTS
//   (8, 11) get no reply; SET-CONTROL 1 and 0 are answered (69 01).
// - One client per accepter: a second one gets "Port already in use\r\n" and EOF; a client of
//   the other accepter of the same device gets "Port's device already in use\r\n" and EOF. On
//   the RFC 2217 port these texts follow the same seven negotiation commands.
// - Killed, or when the box's line closes, its clients see EOF (FIN, not a reset), within
//   about 50 ms of the close. The next client's connection opens the device again.
// - After a client's connection ends it closes the device: TIOCOUTQ (0 at once on a
//   pseudo-terminal), then TCFLSH TCIOFLUSH. The output half takes back what the box has not
//   read yet: the frame of a client that writes and closes at once (often on RFC 2217), or
//   the marker of a WaitForQuiet just after a client left, after which the box holds back the
//   next request. A real line keeps bytes the driver counts as sent: give Start the library
//   kestrow_ptyflush (sim/PtyFlushShim.cpp) as `preload` to make the pseudo-terminal do the
//   same; a target that defines KESTROW_SER2NET_PRELOAD to its path gets it by default.
// - A connection that ends is followed by the device's close about 10 ms later (0.2 ms when
//   the client sent its last bytes and closed before the server accepted it); the server
//   accepts the next connection only then. A client of the other accepter in that time gets
//   "Port's device already in use".
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef KESTROW_SER2NET_PRELOAD
#define KESTROW_SER2NET_DEFAULT_PRELOAD KESTROW_SER2NET_PRELOAD
#else
#define KESTROW_SER2NET_DEFAULT_PRELOAD ""
#endif

extern char** environ;

namespace kestrow::test {

// A TCP port on 127.0.0.1 that nobody listens on right now (bound to port 0, read back, closed);
// 0 when no socket could be had. Someone else may take it before it is used: retry then.
inline uint16_t FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    uint16_t port = 0;
    socklen_t length = sizeof(addr);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
        port = ntohs(addr.sin_port);
    }
    close(fd);
    return port;
}

namespace ser2net_detail {

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The last `count` lines of `text`.
inline std::string LastLines(const std::string& text, size_t count) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::string out;
    const size_t first = lines.size() > count ? lines.size() - count : 0;
    for (size_t i = first; i < lines.size(); ++i) {
        out += lines[i] + (i + 1 < lines.size() ? "\n" : "");
    }
    return out;
}

// Inodes of the sockets in LISTEN state on local TCP port `port` (IPv4 and IPv6).
inline std::set<unsigned long> ListeningInodes(uint16_t port) {
    std::set<unsigned long> inodes;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // header
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
            unsigned long inode = 0;
            if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >>
                  uid >> timeout >> inode)) {
                continue;
            }
            const size_t colon = local.rfind(':');
            if (state != "0A" || colon == std::string::npos) {  // 0A: TCP_LISTEN
                continue;
            }
            if (std::strtoul(local.c_str() + colon + 1, nullptr, 16) == port) {
                inodes.insert(inode);
            }
        }
    }
    return inodes;
}

// Inodes of the sockets process `pid` holds open.
inline std::set<unsigned long> SocketInodes(pid_t pid) {
    std::set<unsigned long> inodes;
    const std::string dirPath = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(dirPath.c_str());
    if (dir == nullptr) {
        return inodes;
    }
    while (const dirent* entry = readdir(dir)) {
        char target[64] = {};
        const std::string link = dirPath + "/" + entry->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
        unsigned long inode = 0;
        if (n > 0 && std::sscanf(target, "socket:[%lu]", &inode) == 1) {
            inodes.insert(inode);
        }
    }
    closedir(dir);
    return inodes;
}

// Process `pid` itself listens on 127.0.0.1:`port` (not someone who took the port first).
inline bool ListensOn(pid_t pid, uint16_t port) {
    const auto listening = ListeningInodes(port);
    if (listening.empty()) {
        return false;
    }
    for (unsigned long inode : SocketInodes(pid)) {
        if (listening.count(inode) != 0) {
            return true;
        }
    }
    return false;
}

inline std::string FindExecutable() {
    std::vector<std::string> dirs;
    if (const char* path = std::getenv("PATH")) {
        std::string all(path);
        size_t start = 0;
        while (start <= all.size()) {
            const size_t colon = all.find(':', start);
            const size_t end = colon == std::string::npos ? all.size() : colon;
            if (end > start) {
                dirs.push_back(all.substr(start, end - start));
            }
            start = end + 1;
        }
    }
    // ser2net is in sbin, which a user's PATH often lacks.
    for (const char* dir : {"/usr/sbin", "/usr/local/sbin", "/sbin"}) {
        dirs.emplace_back(dir);
    }
    for (const auto& dir : dirs) {
        const std::string candidate = dir + "/ser2net";
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

}  // namespace ser2net_detail

class Ser2net {
  public:
    // Starts ser2net in the foreground serving `devicePath` (e.g. a simulated box's /dev/pts/N,
    // from sim::BoxSim::slavePath()) on two 127.0.0.1 ports it picks: one RFC 2217 accepter
    // (telnet(rfc2217),tcp) and one raw accepter (tcp). Returns once the server itself listens
    // on both (at most about 5 s per attempt); null on failure, with the reason (and the tail
    // of ser2net's log) in `why` when given. A port someone took in the meantime is replaced.
    // The device is opened only when a client connects; a path with ',' or spaces will not do.
    // Call it from a thread that outlives the server: the server gets SIGKILL when the thread
    // that started it ends (PR_SET_PDEATHSIG), so a crashed test leaves no server behind (only
    // its temporary folder). `preload`: a library the server runs with (LD_PRELOAD), none when
    // empty; see kestrow_ptyflush above.
    [[nodiscard]] static std::unique_ptr<Ser2net> Start(
        const std::string& devicePath, std::string* why = nullptr,
        std::string preload = KESTROW_SER2NET_DEFAULT_PRELOAD) {
        auto fail = [why](const std::string& reason) {
            if (why != nullptr) {
                *why = reason;
            }
            return std::unique_ptr<Ser2net>();
        };
        const std::string executable = ser2net_detail::FindExecutable();
        if (executable.empty()) {
            return fail("ser2net is not installed (looked in PATH and /usr/sbin)");
        }
        std::unique_ptr<Ser2net> server(new Ser2net(devicePath, executable));
        server->preload_ = std::move(preload);
        if (server->dir_.empty()) {
            return fail("no temporary folder for ser2net: " + std::string(std::strerror(errno)));
        }
        std::string reason;
        for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
            server->rfc2217Port_ = FreeLoopbackPort();
            do {
                server->rawPort_ = FreeLoopbackPort();
            } while (server->rawPort_ != 0 && server->rawPort_ == server->rfc2217Port_);
            if (server->rfc2217Port_ == 0 || server->rawPort_ == 0) {
                return fail("no free loopback port: " + std::string(std::strerror(errno)));
            }
            if (!server->WriteConfig(&reason)) {
                return fail(reason);
            }
            switch (server->Launch(&reason)) {
                case Outcome::Listening:
                    return server;
                case Outcome::PortTaken:
                    server->Kill();
                    continue;  // raced for a port: pick others
                case Outcome::Failed:
                    server->Kill();
                    return fail(reason);
            }
        }
        return fail("ser2net could not bind its ports in " + std::to_string(kStartAttempts) +
                    " attempts: " + reason);
    }

    ~Ser2net() {
        Kill();
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    [[nodiscard]] uint16_t rfc2217Port() const { return rfc2217Port_; }
    [[nodiscard]] uint16_t rawPort() const { return rawPort_; }
    [[nodiscard]] std::string Rfc2217Url() const {
        return "rfc2217://127.0.0.1:" + std::to_string(rfc2217Port_);
    }
    [[nodiscard]] std::string RawUrl() const {
        return "socket://127.0.0.1:" + std::to_string(rawPort_);
    }
    [[nodiscard]] bool running() const { return pid_ > 0; }
    // Everything ser2net wrote since the first start (all runs).
    [[nodiscard]] std::string Log() const { return ser2net_detail::ReadFile(logPath_); }

    // SIGKILL now (a server that dies mid-run) and reaped; its clients' connections close.
    void Kill() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

    // Starts again (after Kill(), or kills a running server first) with the same configuration
    // and the same ports; true once it listens on both, within about 5 s. Connections of the
    // previous run left in TIME_WAIT do not hinder it (ser2net binds with SO_REUSEADDR).
    bool Restart(std::string* why = nullptr) {
        Kill();
        std::string reason;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        for (;;) {
            const Outcome outcome = Launch(&reason);
            if (outcome == Outcome::Listening) {
                return true;
            }
            Kill();
            if (outcome == Outcome::Failed || std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // port still held
        }
        if (why != nullptr) {
            *why = reason;
        }
        return false;
    }

    // ser2net is installed.
    [[nodiscard]] static bool Available() { return !ser2net_detail::FindExecutable().empty(); }

  private:
    static constexpr int kStartAttempts = 5;
    static constexpr int kWaitMs = 5000;
    static constexpr int kPollMs = 10;

    enum class Outcome { Listening, PortTaken, Failed };

    // Makes the server's temporary folder; dir_ stays empty (errno set) when it cannot.
    Ser2net(std::string devicePath, std::string executable)
        : device_(std::move(devicePath)), executable_(std::move(executable)) {
        std::error_code ec;
        std::string pattern =
            (std::filesystem::temp_directory_path(ec) / "kestrow-ser2net-XXXXXX").string();
        if (ec || ::mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        dir_ = pattern;
        configPath_ = dir_ + "/ser2net.yaml";
        logPath_ = dir_ + "/ser2net.log";
    }

    // ser2net 4 YAML as the README configures a box (tcp(nodelay), chardelay off). The other
    // options are the defaults, stated so that nothing else (a default file, a distribution's
    // habits) can switch on a banner, kickolduser or telnet-brk-on-sync.
    bool WriteConfig(std::string* why) const {
        auto connection = [this](const char* name, const std::string& accepter) {
            return std::string("connection: &") + name + "\n" + "  accepter: " + accepter + "\n" +
                   "  connector: serialdev," + device_ + ",115200n81,local\n" +
                   "  options:\n"
                   "    chardelay: false\n"
                   "    kickolduser: false\n"
                   "    telnet-brk-on-sync: false\n"
                   "    max-connections: 1\n";
        };
        std::ofstream out(configPath_, std::ios::trunc);
        out << "%YAML 1.1\n---\n"
            << connection("box2217",
                          "telnet(rfc2217),tcp(nodelay),127.0.0.1," + std::to_string(rfc2217Port_))
            << connection("boxraw", "tcp(nodelay),127.0.0.1," + std::to_string(rawPort_));
        out.close();
        if (!out) {
            *why = "cannot write " + configPath_;
            return false;
        }
        return true;
    }

    std::string Tail(size_t from) const {
        const std::string log = Log();
        const std::string run = from < log.size() ? log.substr(from) : std::string();
        return run.empty() ? " (its log is empty)"
                           : "; its log ends:\n" + ser2net_detail::LastLines(run, 12);
    }

    // Forks and execs ser2net, then waits until it listens on both ports.
    Outcome Launch(std::string* why) {
        // Everything the child needs is made before fork: after it, only async-signal-safe calls.
        std::vector<std::string> args = {executable_, "-d", "-u", "-c", configPath_};
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            if (preload_.empty() || std::strncmp(*e, "LD_PRELOAD=", 11) != 0) {
                env.emplace_back(*e);
            }
        }
        if (!preload_.empty()) {
            const char* before = std::getenv("LD_PRELOAD");
            env.push_back("LD_PRELOAD=" + preload_ +
                          (before != nullptr && *before != '\0' ? ":" + std::string(before) : ""));
        }
        std::vector<char*> envp;
        for (auto& entry : env) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        struct stat st {};
        const size_t logStart =
            stat(logPath_.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
        const int logFd = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        const int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (logFd < 0 || nullFd < 0) {
            *why = "cannot open " + logPath_ + " or /dev/null: " + std::strerror(errno);
            if (logFd >= 0) {
                close(logFd);
            }
            if (nullFd >= 0) {
                close(nullFd);
            }
            return Outcome::Failed;
        }
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // Dies with the thread that started it, also when that already happened.
            if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
                _exit(125);
            }
            if (dup2(nullFd, STDIN_FILENO) < 0 || dup2(logFd, STDOUT_FILENO) < 0 ||
                dup2(logFd, STDERR_FILENO) < 0) {
                _exit(126);
            }
            // No descriptor of the test (a pseudo-terminal's master, a client socket) may live
            // on in the server.
            if (syscall(SYS_close_range, 3U, UINT_MAX, 0U) != 0) {
                const long max = sysconf(_SC_OPEN_MAX);
                for (long fd = 3; fd < (max > 0 ? max : 1024); ++fd) {
                    close(static_cast<int>(fd));
                }
            }
            struct sigaction dfl {};
            dfl.sa_handler = SIG_DFL;
            sigemptyset(&dfl.sa_mask);
            for (int sig : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGTERM}) {
                sigaction(sig, &dfl, nullptr);
            }
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        const int forkErrno = errno;
        close(logFd);
        close(nullFd);
        if (pid < 0) {
            *why = std::string("fork failed: ") + std::strerror(forkErrno);
            return Outcome::Failed;
        }
        pid_ = pid;

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        for (;;) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                std::string how = WIFEXITED(status)
                                      ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                      : "died of signal " + std::to_string(WTERMSIG(status));
                if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
                    how += " (exec of " + executable_ + " failed)";
                }
                *why = "ser2net " + how + Tail(logStart);
                return Outcome::Failed;
            }
            if (ser2net_detail::ListensOn(pid_, rfc2217Port_) &&
                ser2net_detail::ListensOn(pid_, rawPort_)) {
                return Outcome::Listening;
            }
            // It keeps running when an accepter cannot bind; its log says so.
            const std::string log = Log();
            const std::string run = logStart < log.size() ? log.substr(logStart) : std::string();
            if (run.find("Unable to startup network port") != std::string::npos) {
                *why = "ser2net could not listen on port " + std::to_string(rfc2217Port_) + " or " +
                       std::to_string(rawPort_) + Tail(logStart);
                return run.find("Address already in use") != std::string::npos ? Outcome::PortTaken
                                                                               : Outcome::Failed;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                *why = "ser2net did not listen on ports " + std::to_string(rfc2217Port_) + " and " +
                       std::to_string(rawPort_) + " within " + std::to_string(kWaitMs) + " ms" +
                       Tail(logStart);
                return Outcome::Failed;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        }
    }

    std::string dir_;  // the server's temporary folder, removed with it
    std::string device_;
    std::string executable_;
    std::string configPath_;
    std::string logPath_;
    std::string preload_;  // LD_PRELOAD of the server, empty for none
    uint16_t rfc2217Port_ = 0;
    uint16_t rawPort_ = 0;
    pid_t pid_ = -1;
};

}  // namespace kestrow::test
