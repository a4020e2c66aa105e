// Debian's ser2net (4.3) serving a device - a simulated box's pseudo-terminal - on two loopback
// ports, an RFC 2217 accepter and a raw TCP accepter, for the tests, benches and soak of the
// network ports. Linux only: it forks, and it reads /proc.
//
// Each server has its own temporary folder with its configuration and its log (stdout and
// stderr of `ser2net -d -u -c FILE`: in the foreground, no UUCP lock, no pid file). What
// ser2net 4.3.11 does in front of a simulated box:
// - It opens the device only when a client connects: a missing device is a client's "Device
//   open failure: Value or file not found\r\n" and EOF. It logs "Unable to start mdns" at every
//   start. An accepter that cannot bind does not stop it: it logs "Unable to startup network
//   port", so listening is checked per port, on sockets the server itself holds.
// - The RFC 2217 accepter sends first: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL
//   BINARY, DO COM-PORT-OPTION; after the client's WILL COM-PORT-OPTION, NOTIFY-MODEMSTATE.
// - One client per accepter: a second gets "Port already in use\r\n" and EOF; a client of the
//   other accepter of the device gets "Port's device already in use\r\n" and EOF, also for
//   some 10 to 150 ms after the holder left, until the server has closed the device. On the
//   RFC 2217 port the texts follow the negotiation.
// - Killed, or when the box's line closes, its clients see EOF within about 50 ms.
// - When a client leaves it closes the device with TCFLSH TCIOFLUSH, which on a
//   pseudo-terminal also takes back what the box has not read yet (a real line sends it):
//   `preload` kestrow_ptyflush (sim/PtyFlushShim.cpp) makes the output flush do nothing; a
//   target that defines KESTROW_SER2NET_PRELOAD to its path gets it by default.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
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
#include <tuple>
#include <vector>

#ifdef KESTROW_SER2NET_PRELOAD
#define KESTROW_SER2NET_DEFAULT_PRELOAD KESTROW_SER2NET_PRELOAD
#else
#define KESTROW_SER2NET_DEFAULT_PRELOAD ""
#endif

extern char** environ;

namespace kestrow::sim {

// A TCP port on 127.0.0.1 that nobody listens on right now; 0 when no socket could be had.
inline uint16_t FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(addr);
    uint16_t port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
        port = ntohs(addr.sin_port);
    }
    close(fd);
    return port;
}

class Ser2net {
  public:
    // Starts ser2net serving `devicePath` on two 127.0.0.1 ports it picks, and returns once the
    // server itself listens on both (ports someone took meanwhile are replaced); null with the
    // reason (and the end of its log) in `why` otherwise. Call it from a thread that outlives
    // the server: it gets SIGKILL when that thread ends, so a crashed test leaves none behind.
    // `preload`: a library the server runs with (LD_PRELOAD), none when empty.
    [[nodiscard]] static std::unique_ptr<Ser2net> Start(
        const std::string& devicePath, std::string* why = nullptr,
        std::string preload = KESTROW_SER2NET_DEFAULT_PRELOAD) {
        std::string reason = "ser2net is not installed (looked in PATH and /usr/sbin)";
        std::unique_ptr<Ser2net> server(new Ser2net(devicePath, std::move(preload)));
        for (int attempt = 0; !server->executable_.empty() && attempt < 5; ++attempt) {
            server->rfc2217Port_ = FreeLoopbackPort();
            do {
                server->rawPort_ = FreeLoopbackPort();
            } while (server->rawPort_ != 0 && server->rawPort_ == server->rfc2217Port_);
            const Outcome outcome =
                server->WriteConfig(reason) ? server->Launch(reason) : Outcome::Failed;
            if (outcome == Outcome::Listening) {
                return server;
            }
            server->Kill();
            if (outcome == Outcome::Failed) {
                break;
            }
        }
        if (why != nullptr) {
            *why = reason;
        }
        return nullptr;
    }

    ~Ser2net() {
        Kill();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
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

    // SIGKILL now (a server that dies mid-run), reaped; its clients' connections close.
    void Kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
        }
    }

    // Starts again on the same ports (ser2net binds with SO_REUSEADDR); true once it listens.
    bool Restart(std::string* why = nullptr) {
        std::string reason;
        for (int attempt = 0; attempt < 50; ++attempt) {
            Kill();
            const Outcome outcome = Launch(reason);
            if (outcome != Outcome::PortTaken) {
                if (outcome == Outcome::Listening) {
                    return true;
                }
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));  // port still held
        }
        if (why != nullptr) {
            *why = reason;
        }
        Kill();
        return false;
    }

    [[nodiscard]] static bool Available() { return !FindExecutable().empty(); }

  private:
    enum class Outcome { Listening, PortTaken, Failed };

    Ser2net(std::string devicePath, std::string preload)
        : device_(std::move(devicePath)), preload_(std::move(preload)) {
        std::error_code ec;
        std::string pattern =
            (std::filesystem::temp_directory_path(ec) / "kestrow-ser2net-XXXXXX").string();
        if (!ec && ::mkdtemp(pattern.data()) != nullptr) {
            dir_ = pattern;
            executable_ = FindExecutable();  // none without a folder: Start fails
        }
    }

    // ser2net is in sbin, which a user's PATH often lacks.
    static std::string FindExecutable() {
        std::istringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
        std::vector<std::string> dirs{"/usr/sbin", "/usr/local/sbin", "/sbin"};
        for (std::string dir; std::getline(path, dir, ':');) {
            dirs.insert(dirs.end() - 3, dir);
        }
        for (const std::string& dir : dirs) {
            if (!dir.empty() && access((dir + "/ser2net").c_str(), X_OK) == 0) {
                return dir + "/ser2net";
            }
        }
        return {};
    }

    [[nodiscard]] std::string Log() const {
        std::ifstream in(dir_ + "/ser2net.log", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // ser2net 4 YAML as the README configures a box (tcp(nodelay), chardelay off); the other
    // options are stated so that nothing else can switch on a banner, kickolduser or
    // telnet-brk-on-sync.
    bool WriteConfig(std::string& why) const {
        std::ofstream out(dir_ + "/ser2net.yaml", std::ios::trunc);
        out << "%YAML 1.1\n---\n";
        for (const auto& [name, accepter, port] :
             {std::tuple{"box2217", "telnet(rfc2217),tcp(nodelay)", rfc2217Port_},
              std::tuple{"boxraw", "tcp(nodelay)", rawPort_}}) {
            out << "connection: &" << name << "\n  accepter: " << accepter << ",127.0.0.1," << port
                << "\n  connector: serialdev," << device_
                << ",115200n81,local\n  options:\n    chardelay: false\n    kickolduser: false\n"
                   "    telnet-brk-on-sync: false\n    max-connections: 1\n";
        }
        out.close();
        why = rfc2217Port_ == 0 || rawPort_ == 0 ? "no free loopback port"
              : out                              ? ""
                                                 : "cannot write " + dir_ + "/ser2net.yaml";
        return why.empty();
    }

    // The server process itself holds a socket listening on 127.0.0.1:`port` (not someone who
    // took the port first): a LISTEN entry of /proc/net/tcp whose inode is one of its fds.
    bool ListensOn(uint16_t port) const {
        std::set<std::string> inodes;
        std::ifstream table("/proc/net/tcp");
        std::string line;
        std::getline(table, line);  // the header
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, skip, inode;
            fields >> slot >> local >> remote >> state >> skip >> skip >> skip >> skip >> skip >>
                inode;
            if (state == "0A" && std::strtoul(local.c_str() + local.rfind(':') + 1, nullptr,
                                              16) == port) {  // 0A: TCP_LISTEN
                inodes.insert("socket:[" + inode + "]");
            }
        }
        const std::string fds = "/proc/" + std::to_string(pid_) + "/fd";
        std::error_code ec;
        for (const auto& fd : std::filesystem::directory_iterator(fds, ec)) {
            if (inodes.count(std::filesystem::read_symlink(fd.path(), ec).string()) != 0) {
                return true;
            }
        }
        return false;
    }

    // Forks and execs ser2net, then waits up to 5 s until it listens on both ports.
    Outcome Launch(std::string& why) {
        // Everything the child needs is made before fork: after it, only async-signal-safe calls.
        std::string config = dir_ + "/ser2net.yaml";
        std::vector<std::string> args = {executable_, "-d", "-u", "-c", config};
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
        std::vector<char*> argv, envp;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        for (std::string& e : env) {
            envp.push_back(e.data());
        }
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const size_t logStart = Log().size();
        const int logFd =
            open((dir_ + "/ser2net.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        const int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        const pid_t parent = getpid();
        const pid_t pid = logFd < 0 || nullFd < 0 ? -1 : fork();
        if (pid == 0) {
            // Dies with the thread that started it; keeps no descriptor of the test (a
            // pseudo-terminal's master, a client socket); default signals.
            if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent ||
                dup2(nullFd, STDIN_FILENO) < 0 || dup2(logFd, STDOUT_FILENO) < 0 ||
                dup2(logFd, STDERR_FILENO) < 0) {
                _exit(126);
            }
            syscall(SYS_close_range, 3U, UINT_MAX, 0U);
            struct sigaction dfl {};
            dfl.sa_handler = SIG_DFL;
            for (int sig : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGTERM}) {
                sigaction(sig, &dfl, nullptr);
            }
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        for (const int fd : {logFd, nullFd}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        if (pid < 0) {
            why = "cannot start ser2net: " + std::string(std::strerror(errno));
            return Outcome::Failed;
        }
        pid_ = pid;
        const auto tail = [&] { return "; its log: " + Log().substr(logStart, 2000); };
        for (int waited = 0; waited < 5000; waited += 10) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                why = "ser2net ended with status " + std::to_string(status) + tail();
                return Outcome::Failed;
            }
            if (ListensOn(rfc2217Port_) && ListensOn(rawPort_)) {
                return Outcome::Listening;
            }
            const std::string log = Log().substr(logStart);
            if (log.find("Unable to startup network port") != std::string::npos) {
                why = "ser2net could not listen" + tail();
                return log.find("Address already in use") != std::string::npos ? Outcome::PortTaken
                                                                               : Outcome::Failed;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        why = "ser2net did not listen within 5 s" + tail();
        return Outcome::Failed;
    }

    std::string device_;
    std::string preload_;     // LD_PRELOAD of the server, empty for none
    std::string dir_;         // the server's temporary folder, removed with it
    std::string executable_;  // empty: none found, or no folder
    uint16_t rfc2217Port_ = 0;
    uint16_t rawPort_ = 0;
    pid_t pid_ = -1;
};

}  // namespace kestrow::sim
