// Fixture of the transfer tests: a small carrier table, recorders for the
// hooks, the three ways a driver runs a compile (files, GPIB, FTP), and the
// peers on the loopback interface (FTP servers started as processes, and
// plain listening sockets of the test's own).
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "compile/engine.h"
#include "compile/output.h"
#include "modulation/bits.h"
#include "modulation/mapper.h"
#include "shell/hooks.h"
#include "shell/uldo.h"
#include "support/core_fixture.h"
#include "support/descriptors.h"
#include "support/tempdir.h"
#include "transfer/ftp.h"
#include "transfer/gpib.h"
#include "transfer/tcp.h"

extern char** environ;

namespace transfertest {

// The statuses of the transfer alone (the engine's pass texts left out).
inline std::vector<std::string> TransferStatuses() {
    static const char* const pass_texts[] = {"FSK preprocessing..", "Compiling..", "Sending RF..",
                                             "Sending Baseband I..", "Sending Baseband Q.."};
    std::vector<std::string> out;
    for (const std::string& s : Statuses()) {
        bool pass_text = false;
        for (const char* p : pass_texts) pass_text = pass_text || s == p;
        if (!pass_text) out.push_back(s);
    }
    return out;
}

inline std::string Text(const std::vector<char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// --- loopback peers ---------------------------------------------------------

// A listening socket on 127.0.0.1 that never accepts: the kernel completes
// the connections, nobody answers.
struct Listener {
    int fd = -1;
    int port = 0;
    Listener() {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 8) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
            Close();
            return;
        }
        port = ntohs(a.sin_port);
    }
    ~Listener() { Close(); }
    void Close() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    // One accepted connection, waiting at most ten seconds; -1 without one.
    int Accept() const {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) return -1;
        return accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    }
};

// A port on 127.0.0.1 that nobody listens on (just released by the kernel).
inline int FreePort() {
    Listener l;
    return l.port;
}

// Reads a connection until the peer closes it (at most ten seconds of silence).
inline std::string ReadUntilClosed(int fd) {
    std::string bytes;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) break;
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

// A server process, stopped with the object.
class ServerProcess {
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess() { Stop(); }

    // Starts argv[0] with its output into log, and waits (at most ten
    // seconds) until port accepts connections on host (a loopback address).
    bool Start(const std::vector<std::string>& argv, const std::string& log, int port,
               const char* host = "127.0.0.1") {
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            return false;
        }
        for (int attempt = 0; attempt < 500; ++attempt) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;  // it gave up (see the log)
                return false;
            }
            const bool v6 = std::strchr(host, ':') != nullptr;
            int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            sockaddr_in6 a6{};
            a.sin_family = AF_INET;
            a6.sin6_family = AF_INET6;
            inet_pton(v6 ? AF_INET6 : AF_INET, host, v6 ? static_cast<void*>(&a6.sin6_addr) : &a.sin_addr);
            a.sin_port = a6.sin6_port = htons(static_cast<uint16_t>(port));
            bool up = v6 ? connect(fd, reinterpret_cast<sockaddr*>(&a6), sizeof a6) == 0
                         : connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            close(fd);
            if (up) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Stop();
        return false;
    }

    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int attempt = 0; attempt < 250 && waitpid(pid_, &status, WNOHANG) != pid_; ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

inline bool Executable(const char* path) { return access(path, X_OK) == 0; }

constexpr const char* PYTHON = "/usr/bin/python3";  // the Debian interpreter that has pyftpdlib
constexpr const char* VSFTPD = "/usr/sbin/vsftpd";

inline bool PyftpdlibInstalled() {
    return Executable(PYTHON) &&
           std::system("/usr/bin/python3 -c 'import pyftpdlib' >/dev/null 2>&1") == 0;
}

// pyftpdlib serving root: anonymous with write permission, anonymous
// read-only, or only the given user (anonymous refused).
struct Pyftpd {
    enum Mode { WRITABLE, READ_ONLY, USER_ONLY };
    ServerProcess process;
    int port = 0;
    // host: "::1" serves on the IPv6 loopback.
    bool Start(const std::filesystem::path& root, const std::string& log, Mode mode, const char* host = "127.0.0.1") {
        port = FreePort();
        std::vector<std::string> argv = {PYTHON, "-m", "pyftpdlib", "-i", host, "-p", std::to_string(port),
                                         "-d", root.string()};
        if (mode == WRITABLE) argv.push_back("-w");
        if (mode == USER_ONLY) {
            // pyftpdlib holds back a refusal for three seconds by default, far
            // beyond the one second the client waits for a reply.
            argv = {PYTHON, "-c",
                    "import sys\n"
                    "from pyftpdlib.authorizers import DummyAuthorizer\n"
                    "from pyftpdlib.handlers import FTPHandler\n"
                    "from pyftpdlib.servers import FTPServer\n"
                    "a = DummyAuthorizer()\n"
                    "a.add_user('operator', 'not-lupin', sys.argv[2], perm='elradfmw')\n"
                    "FTPHandler.authorizer = a\n"
                    "FTPHandler.auth_failed_timeout = 0\n"
                    "FTPServer((sys.argv[3], int(sys.argv[1])), FTPHandler).serve_forever()\n",
                    std::to_string(port), root.string(), host};
        }
        return process.Start(argv, log, port, host);
    }
};

// vsftpd with anonymous sessions chrooted into root/ftp: "up" is writable by
// them, "ro" is not. Needs root (the sessions run chrooted as user "ftp").
struct Vsftpd {
    ServerProcess process;
    int port = 0;
    std::filesystem::path root;
    bool Start(const std::filesystem::path& dir, const std::string& log) {
        namespace fs = std::filesystem;
        root = dir / "ftp";
        fs::create_directories(root / "up");
        fs::create_directories(root / "ro");
        fs::create_directories(dir / "empty");
        chmod(dir.c_str(), 0755);
        chmod(root.c_str(), 0755);  // the chroot itself must not be writable
        chmod((root / "ro").c_str(), 0755);
        chmod((root / "up").c_str(), 0777);
        chmod((dir / "empty").c_str(), 0755);
        port = FreePort();
        // Passive ports below the ephemeral range; vsftpd tries others in the range when one is taken.
        int pasv = 20000 + static_cast<int>(getpid() % 200) * 50;
        std::string config = (dir / "vsftpd.conf").string();
        std::string text =
            "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port) +
            "\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nwrite_enable=YES\n"
            "anon_upload_enable=YES\nanon_mkdir_write_enable=NO\nanon_root=" + root.string() +
            "\npasv_enable=YES\npasv_address=127.0.0.1\npasv_min_port=" + std::to_string(pasv) +
            "\npasv_max_port=" + std::to_string(pasv + 49) +
            "\nseccomp_sandbox=NO\nsecure_chroot_dir=" + (dir / "empty").string() +
            "\nxferlog_enable=NO\nconnect_from_port_20=NO\nuse_localtime=NO\n";
        WriteBytes(config, text.data(), text.size());
        return process.Start({VSFTPD, config}, log, port);
    }
};

// --- the table and the driver's runs ----------------------------------------

class TransferFixture : public ::testing::Test {
public:
    TransferFixture() : old_dir_(std::filesystem::current_path()) {}
    ~TransferFixture() override { std::filesystem::current_path(old_dir_); }

    void SetUp() override {
        for (int c = 0; c < MAX_CARRIERS; ++c) CloseDataFile(c);
        StartCoreCase();
        InitPI();
        AbortOutput();
        SetDelayScale(0);
        unsetenv("ULDO_GPIB");
        std::filesystem::current_path(dir.path());  // FILTER.DAT goes here
        SetSamples(1000);
        SetField(globals.instrument_ip, "127.0.0.1");
    }
    void TearDown() override {
        AbortOutput();
        ResetFtpOutput();
        ResetGpib();
        CloseAllTCPConnections();
        unsetenv("ULDO_GPIB");
        core_hooks = CoreHooks{};
        SetDelayScale(1);
    }

    // One QPSK carrier at a quarter of the clock, a record of n samples,
    // target type WFM, the RF output only.
    void SetSamples(int n) {
        signals[0] = Carrier{};
        Carrier& c = signals[0];
        c.frequency_hz = 25e6f;
        c.symbol_rate = 10e6f;
        c.amplitude = 1.0f;
        c.modulation = MOD_QPSK;
        c.filter_type = FILTER_SQRT_RCOS;
        c.filter_length = 9;
        c.filter_param = 0.35f;
        c.prbs_poly_i = 3;
        c.prbs_seed_i = 0xFEDCBA98u;
        c.prbs_poly_q = 3;
        c.prbs_seed_q = 0xFEDCBA98u;
        c.prbs_iq_equal = 1;
        signals[1].frequency_hz = -1.0f;
        globals.compile_mode = 0;
        globals.compile_length = n;
        globals.sample_clock = 4.0f;  // 100 MHz
        globals.max_record_length = 1 << 30;
        globals.record_granularity = 1;
        globals.reference_carrier = 1;
        globals.baseband_all_carriers = 1;
        globals.instrument_type = 0;
        globals.output_rf = 1;
        globals.output_baseband_i = globals.output_baseband_q = 0;
    }
    void AllOutputs() { globals.output_rf = globals.output_baseband_i = globals.output_baseband_q = 1; }

    // Destination 1 or 2: the files path, path_I, path_Q.
    int CompileToFiles(const std::string& path, int destination) {
        globals.output_destination = destination;
        FileSink sinks[4];
        CompileTargets targets{};
        for (int p = 1; p <= 3; ++p) {
            char name[4096];
            if (p == 1)
                SetField(name, path);
            else
                buildname(name, path.c_str(), p == 2 ? "_I" : "_Q");
            InitFileSink(&sinks[p], name, destination);
            targets.sink[p] = &sinks[p].sink;
        }
        return CompileTable(&targets);
    }

    // Destination 0, as a driver does it. -1 when the preparation stopped the run.
    int CompileGpib() {
        globals.output_destination = 0;
        if (PrepareGpibOutput() != 0) return -1;
        GpibSink sinks[4];
        CompileTargets targets{};
        for (int p = 1; p <= 3; ++p) {
            InitGpibSink(&sinks[p]);
            targets.sink[p] = &sinks[p].sink;
        }
        return CompileTable(&targets);
    }

    // Destination 3, as a driver does it. -1 when the preparation stopped
    // the run; the result of FinishFtpOutput goes to *finish.
    int CompileFtp(const char* name, int* finish = nullptr) {
        globals.output_destination = 3;
        if (PrepareFtpOutput(name) != 0) return -1;
        FtpSink sinks[4];
        CompileTargets targets{};
        for (int p = 1; p <= 3; ++p) {
            InitFtpSink(&sinks[p], p);
            targets.sink[p] = &sinks[p].sink;
        }
        int result = CompileTable(&targets);
        int f = FinishFtpOutput();
        if (finish) *finish = f;
        return result;
    }

    std::filesystem::path old_dir_;
    TempDir dir;
};

}  // namespace transfertest
