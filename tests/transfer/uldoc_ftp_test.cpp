// uldoc's FTP destination against pyftpdlib as real instruments are reached:
// by host name, over IPv6 (passive mode by EPSV), and with a user login whose
// password never stands on the command line.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_uldoc.h"
#include "transfer_fixture.h"

using namespace transfertest;

namespace {

const std::string kMixed = std::string(ULDO_SOURCE_DIR) + "/examples/mixed.json";

class UldocFtp : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PyftpdlibInstalled()) GTEST_SKIP() << "python3-pyftpdlib is not installed (tools/deps.sh installs it)";
        std::filesystem::create_directories(dir.path() / "served");
        UldocOutcome file = Run("", {"-o", "native.wfm"});
        ASSERT_EQ(file.code, 0) << file.err;
        native = FileText(dir.File("native.wfm"));
    }
    UldocOutcome Run(const std::string& environment, const std::vector<std::string>& args) {
        std::vector<std::string> all = {kMixed, "--length", "20000"};
        all.insert(all.end(), args.begin(), args.end());
        return RunUldoc(dir.path().string(), all, dir.File("uldoc"), environment);
    }
    TempDir dir;
    std::string native;
};

TEST_F(UldocFtp, HostsAndLogins) {
    struct Case {
        const char* what;
        const char* serve_on;
        Pyftpd::Mode mode;
        const char* ip;
        std::string environment;
        std::vector<std::string> login;
        int code;
        const char* error;  // part of stderr when it fails
    };
    const Case cases[] = {
        {"host name", "127.0.0.1", Pyftpd::WRITABLE, "localhost", "", {}, 0, ""},
        {"IPv6 address", "::1", Pyftpd::WRITABLE, "::1", "", {}, 0, ""},
        {"IPv6 address in brackets", "::1", Pyftpd::WRITABLE, "[::1]", "", {}, 0, ""},
        {"user and password", "127.0.0.1", Pyftpd::USER_ONLY, "127.0.0.1", "ULDO_FTP_PASSWORD=not-lupin",
         {"--ftp-user", "operator"}, 0, ""},
        {"wrong password", "127.0.0.1", Pyftpd::USER_ONLY, "127.0.0.1", "ULDO_FTP_PASSWORD=lupin",
         {"--ftp-user", "operator"}, 1, "Command PASS(230) Failed. Exiting.."},
        {"anonymous where a user is needed", "127.0.0.1", Pyftpd::USER_ONLY, "127.0.0.1", "", {}, 1,
         "Command PASS(230) Failed. Exiting.."},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir.path() / "served" / "WAVE.WFM");
        Pyftpd server;
        ASSERT_TRUE(server.Start(dir.path() / "served", dir.File("pyftpd.log"), c.mode, c.serve_on))
            << c.what << ": " << FileText(dir.File("pyftpd.log"));
        std::vector<std::string> args = {"--destination", "ftp", "--ip", c.ip, "--ftp-port",
                                         std::to_string(server.port), "--ftp-name", "WAVE.WFM"};
        args.insert(args.end(), c.login.begin(), c.login.end());
        UldocOutcome sent = Run(c.environment, args);
        EXPECT_EQ(sent.code, c.code) << c.what << ": " << sent.err;
        if (c.code == 0) {
            EXPECT_TRUE(FileText(dir.File("served/WAVE.WFM")) == native) << c.what;
            std::string shown = c.ip[0] == '[' ? std::string(c.ip + 1, std::strlen(c.ip) - 2) : c.ip;
            EXPECT_NE(sent.out.find("stored         WAVE.WFM on " + shown), std::string::npos)
                << c.what << ": " << sent.out;
        } else {
            EXPECT_NE(sent.err.find(c.error), std::string::npos) << c.what << ": " << sent.err;
            EXPECT_FALSE(std::filesystem::exists(dir.path() / "served" / "WAVE.WFM")) << c.what;
        }
        // The password is never echoed.
        EXPECT_EQ(sent.err.find("not-lupin"), std::string::npos) << c.what;
        EXPECT_EQ(sent.out.find("not-lupin"), std::string::npos) << c.what;
    }
}

TEST_F(UldocFtp, PasswordWithoutATerminal) {
    int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty >= 0) {
        close(tty);
        GTEST_SKIP() << "a terminal is at hand: uldoc would ask it for the password";
    }
    UldocOutcome sent = Run("", {"--destination", "ftp", "--ip", "127.0.0.1", "--ftp-port", "21", "--ftp-user",
                                 "operator", "--ftp-name", "WAVE.WFM"});
    EXPECT_EQ(sent.code, 2);
    EXPECT_NE(sent.err.find("--ftp-user needs the password in ULDO_FTP_PASSWORD (no terminal to ask)"),
              std::string::npos)
        << sent.err;
}

TEST(UldocFtpOptions, HostsRefused) {
    TempDir dir;
    const std::string too_long(256, 'a');
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        {{"--ip", too_long}, "--ip takes a host name or address of 1 to 255 characters"},
        {{"--ip", "awg lab"}, "--ip takes a host name or address without spaces"},
        {{"--instrument", "TCPIP::awg"}, "--instrument \"TCPIP::awg\": TCPIP::HOST::INSTR"},
        {{"--instrument", "TCPIP::awg::INSTR", "--destination", "ftp"}, "--instrument names the instrument of"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {kMixed};
        args.insert(args.end(), c.args.begin(), c.args.end());
        UldocOutcome r = RunUldoc(dir.path().string(), args, dir.File("uldoc"));
        EXPECT_EQ(r.code, 2) << c.error;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
}

TEST(FtpReplies, EpsvPort) {
    struct Case {
        const char* reply;
        int port;
    };
    const Case cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)", 6446},
        {"229 ok (!!!65535!)", 65535},
        {"229 (|||0|)", -1},
        {"229 (|||65536|)", -1},
        {"229 (||6446|)", -1},
        {"229 (|||6446)", -1},
        {"229 Entering Extended Passive Mode", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseEpsv(c.reply), c.port) << c.reply;
}

}  // namespace
