// uldoc against peers that fail in every way a network can: each case ends
// with status 1, prints nothing as stored or sent, says what went wrong and
// stays within the time-outs that --timeout sets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/run_uldoc.h"
#include "transfer_fixture.h"

using namespace transfertest;

namespace {

enum Fault {
    FTP_REFUSED,          // nothing listens
    FTP_SILENT,           // the connection is taken, no word is said
    FTP_LOGIN_530,
    FTP_STOR_550,
    FTP_DATA_CUT,         // the data connection is reset after 8 kB
    FTP_ENDLESS_LINE,     // a 100 kB greeting without a line end
    FTP_DATA_NOT_READ,    // the data connection is never read
    LAN_REFUSED,
    LAN_CLOSED,           // the instrument closes the connection at once
    LAN_NOT_READ,         // the instrument never reads
};

// A peer on 127.0.0.1 playing one fault. It serves one client and stops by
// itself when the client goes, or after twenty seconds at the latest.
class FaultPeer {
public:
    explicit FaultPeer(Fault fault) : fault_(fault) {
        if (fault == FTP_REFUSED || fault == LAN_REFUSED) {
            port_ = FreePort();
            return;
        }
        port_ = control_.port;
        if (fault != FTP_SILENT) thread_ = std::thread([this] { Run(); });
    }
    ~FaultPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return port_; }
    std::vector<std::string> Commands() {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }

private:
    using Clock = std::chrono::steady_clock;

    bool Expired() const { return stop_ || Clock::now() > deadline_; }

    // Waits for fd to be readable: true when it is, false at the end.
    bool Readable(int fd) const {
        while (!Expired()) {
            pollfd p{fd, POLLIN, 0};
            int r = poll(&p, 1, 50);
            if (r > 0) return true;
            if (r < 0 && errno != EINTR) return false;
        }
        return false;
    }

    int AcceptOn(const Listener& l) const {
        if (!Readable(l.fd)) return -1;
        return accept4(l.fd, nullptr, nullptr, SOCK_CLOEXEC);
    }

    // One command line; "" when the client has gone.
    std::string ReadCommand(int fd) const {
        std::string line;
        char c;
        while (line.size() < 512 && Readable(fd) && recv(fd, &c, 1, 0) == 1) {
            line += c;
            if (c == '\n') return line;
        }
        return "";
    }

    static void Say(int fd, const std::string& text) { send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

    // Holds a connection open without reading it until the client closes it.
    void HoldUnread(int fd) const {
        while (!Expired()) {
            pollfd p{fd, POLLRDHUP, 0};
            if (poll(&p, 1, 50) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) return;
        }
    }

    void Run() {
        int fd = AcceptOn(control_);
        if (fd < 0) return;
        if (fault_ == LAN_CLOSED) {
            close(fd);
            return;
        }
        if (fault_ == LAN_NOT_READ) {
            HoldUnread(fd);
            close(fd);
            return;
        }
        if (fault_ == FTP_ENDLESS_LINE) {
            Say(fd, std::string(100000, 'x'));
            HoldUnread(fd);
            close(fd);
            return;
        }
        Say(fd, "220 fault peer\r\n");
        int data = -1;
        for (std::string command; !(command = ReadCommand(fd)).empty();) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                commands_.push_back(command);
            }
            std::string verb = command.substr(0, 4);
            if (verb == "USER") {
                Say(fd, "331 any password\r\n");
            } else if (verb == "PASS") {
                Say(fd, fault_ == FTP_LOGIN_530 ? "530 Login incorrect.\r\n" : "230 logged in\r\n");
            } else if (verb == "CWD ") {
                Say(fd, "250 ok\r\n");
            } else if (verb == "TYPE") {
                Say(fd, "200 ok\r\n");
            } else if (verb == "PASV") {
                Say(fd, "227 Entering Passive Mode (127,0,0,1," + std::to_string(data_.port / 256) + "," +
                            std::to_string(data_.port % 256) + ")\r\n");
            } else if (verb == "STOR") {
                if (fault_ == FTP_STOR_550) {
                    Say(fd, "550 Permission denied.\r\n");
                    continue;
                }
                if ((data = AcceptOn(data_)) < 0) break;
                Say(fd, "150 send it\r\n");
                if (fault_ == FTP_DATA_CUT) {
                    char buffer[4096];
                    long got = 0;
                    while (got < 8192 && Readable(data)) {
                        ssize_t n = recv(data, buffer, sizeof buffer, 0);
                        if (n <= 0) break;
                        got += n;
                    }
                    linger reset{1, 0};
                    setsockopt(data, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                    close(data);
                    data = -1;
                    Say(fd, "426 Connection closed; transfer aborted.\r\n");
                }
                // FTP_DATA_NOT_READ: the data connection stays open, unread.
            } else if (verb == "DELE") {
                Say(fd, "250 deleted\r\n");
            } else if (verb == "QUIT") {
                Say(fd, "221 bye\r\n");
                break;
            } else {
                Say(fd, "502 not here\r\n");
            }
        }
        if (data >= 0) close(data);
        close(fd);
    }

    Fault fault_;
    Listener control_;
    Listener data_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    Clock::time_point deadline_ = Clock::now() + std::chrono::seconds(20);
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

bool PrintsSuccess(const std::string& out) {
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("stored", 0) == 0 || line.rfind("sent", 0) == 0) return true;
    return false;
}

class TransferFaults : public ::testing::Test {
protected:
    void SetUp() override {
        // One carrier: long records compile quickly, so the time is the transfer's.
        std::string table = R"({"carriers": [{"frequency_hz": 25e6, "amplitude": 1, "symbol_rate": 5e6,
            "modulation": "QPSK", "filter_type": 0, "filter_length": 1}]})";
        WriteBytes(dir.File("one.json"), table.data(), table.size());
    }
    TempDir dir;
};

TEST_F(TransferFaults, EveryFaultEndsWithStatusOneWithinTheTimeOut) {
    struct Case {
        Fault fault;
        const char* what;
        int samples;         // the record: long enough to fill the socket buffers where that matters
        const char* says;    // on stderr
        int timeouts;        // time-outs the fault may take in all
        bool deletes;        // the cut file is deleted on the server
    } cases[] = {
        {FTP_REFUSED, "FTP refused", 1000, "Network Connection Failed. Exiting..", 0, false},
        {FTP_SILENT, "FTP never answers", 1000, "Network Connection Failed. Exiting..", 1, false},
        {FTP_LOGIN_530, "FTP login refused", 1000, "Command PASS(230) Failed. Exiting..", 0, false},
        {FTP_STOR_550, "FTP store refused", 1000, "Command STOR(150) Failed. Exiting..", 0, false},
        {FTP_DATA_CUT, "FTP data cut", 200000, "the partial file was deleted", 1, true},
        {FTP_ENDLESS_LINE, "FTP endless reply line", 1000, "Network Connection Failed. Exiting..", 1, false},
        {FTP_DATA_NOT_READ, "FTP data never read", 2000000, "the partial file was deleted", 3, true},
        {LAN_REFUSED, "LAN refused", 1000, "Connection refused", 0, false},
        {LAN_CLOSED, "LAN closed at once", 200000, "COMPILATION ERROR: ", 1, false},
        {LAN_NOT_READ, "LAN never reads", 2000000, "GPIB Transfer Failed (instrument at 127.0.0.1 port", 2,
         false},
    };
    const double timeout = 1.0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FaultPeer peer(c.fault);
        bool lan = c.fault >= LAN_REFUSED;
        std::vector<std::string> args = {dir.File("one.json"), "--length", std::to_string(c.samples),
                                         "--timeout", "1", "--ip", "127.0.0.1"};
        std::string environment;
        if (lan) {
            args.insert(args.end(), {"--destination", "0"});
            environment = "ULDO_GPIB=lan:127.0.0.1:" + std::to_string(peer.port());
        } else {
            args.insert(args.end(), {"--destination", "3", "--ftp-port", std::to_string(peer.port()),
                                     "--ftp-name", "WAVE.WFM"});
        }
        auto start = std::chrono::steady_clock::now();
        UldocOutcome r = RunUldoc(dir.path().string(), args, dir.File("uldoc"), environment);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_FALSE(PrintsSuccess(r.out)) << r.out;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        // The time-outs it may take, and a margin for the compile and a slow machine.
        EXPECT_LT(seconds, c.timeouts * timeout + 4.0) << r.err;
        std::vector<std::string> commands = peer.Commands();
        bool deleted = !commands.empty() && commands.back() == "DELE /WAVE.WFM\r\n";
        EXPECT_EQ(deleted, c.deletes) << ::testing::PrintToString(commands);
    }
}

}  // namespace
