// The FTP client and the network output against real servers on the
// loopback interface (pyftpdlib, vsftpd), a scripted peer and a silent one.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "transfer_fixture.h"

using namespace transfertest;

namespace {

const std::vector<std::string> kLogin = {"Establishing Network Connection..", "Sending user name..",
                                         "Sending password.."};
const std::vector<std::string> kFile = {"Changing directory to root..", "Setting binary transfer mode..",
                                        "Retrieving socket information..", "Creating file in target.."};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(FtpReplies, PasvPort) {
    struct Case {
        const char* reply;
        int port;
    } cases[] = {
        {"227 Entering Passive Mode (192,168,0,2,19,137)", 19 * 256 + 137},
        {"227 Entering Passive Mode (10,0,0,1,4,1).", 1025},
        {"227 =127,0,0,1,0,21", 21},
        {"227 Passive, port follows (127,0,0,1,200,7)", 200 * 256 + 7},  // a comma in the text
        {"227 Entering Passive Mode (127,0,0,1,4)", -1},                 // five numbers
        {"227 Entering Passive Mode", -1},
        {"227 Entering Passive Mode (127,0,0,1,256,1)", -1},
        {"", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(ParsePasv(c.reply), c.port) << c.reply;
}

TEST(FtpReplies, AddressNumbers) {
    struct Case {
        const char* text;
        int n[4];
    } cases[] = {
        {"1.2.3.4", {1, 2, 3, 4}},
        {"192.168.100.250", {192, 168, 100, 250}},
        {"", {255, 255, 255, 255}},
        {"localhost", {255, 255, 255, 255}},
        {"10.1", {10, 1, 255, 255}},
        {"10.1.7", {10, 1, 7, 255}},
        {"a.2.x.4", {0, 2, 0, 4}},
    };
    for (const Case& c : cases) {
        int n[4] = {-1, -1, -1, -1};
        EXPECT_EQ(ParseIpAdr(c.text, n), 0);
        EXPECT_EQ(std::vector<int>(n, n + 4), std::vector<int>(c.n, c.n + 4)) << c.text;
    }
}

// --- real servers ----------------------------------------------------------------

class FtpServers : public TransferFixture {
protected:
    // The native-format files of the compile: WAVE.WFM, WAVE_I.WFM, WAVE_Q.WFM.
    std::vector<std::vector<char>> NativeFiles() {
        std::filesystem::create_directories(dir.path() / "native");
        EXPECT_EQ(CompileToFiles(dir.File("native/WAVE.WFM"), 1), COMPILE_DONE);
        std::vector<std::vector<char>> files;
        for (const char* n : {"native/WAVE.WFM", "native/WAVE_I.WFM", "native/WAVE_Q.WFM"})
            files.push_back(ReadBytes(dir.File(n)));
        EXPECT_GT(files[0].size(), 5000u);
        return files;
    }

    // Compiles RF, I and Q over FTP into folder (of the server's root) and
    // compares the stored files with the native-format ones.
    void StoreAndCompare(const std::filesystem::path& stored, const std::string& folder) {
        AllOutputs();
        auto native = NativeFiles();
        Statuses().clear();
        int descriptors = OpenDescriptors();
        int finish = -1;
        std::string name = folder + "WAVE.WFM";
        ASSERT_EQ(CompileFtp(name.c_str(), &finish), COMPILE_DONE) << ::testing::PrintToString(Statuses());
        EXPECT_EQ(finish, 0);
        EXPECT_TRUE(Messages().empty()) << Messages()[0];
        EXPECT_EQ(OpenDescriptors(), descriptors);
        int k = 0;
        for (const char* n : {"WAVE.WFM", "WAVE_I.WFM", "WAVE_Q.WFM"}) {
            std::vector<char> bytes = ReadBytes((stored / n).string());
            EXPECT_EQ(bytes.size(), native[k].size()) << n;
            EXPECT_TRUE(bytes == native[k]) << n;
            ++k;
        }
        std::vector<std::string> expected = Join(Join(Join(Join(kLogin, kFile), kFile), kFile), {"221 Goodbye."});
        EXPECT_EQ(TransferStatuses(), expected);
    }
};

TEST_F(FtpServers, PyftpdlibStoresTheNativeFiles) {
    if (!PyftpdlibInstalled()) GTEST_SKIP() << "python3-pyftpdlib is not installed (tools/deps.sh installs it)";
    std::filesystem::create_directories(dir.path() / "served");
    Pyftpd server;
    ASSERT_TRUE(server.Start(dir.path() / "served", dir.File("pyftpd.log"), Pyftpd::WRITABLE))
        << Text(ReadBytes(dir.File("pyftpd.log")));
    globals.ftp_port = server.port;
    StoreAndCompare(dir.path() / "served", "");
}

TEST_F(FtpServers, VsftpdStoresTheNativeFiles) {
    if (!Executable(VSFTPD)) GTEST_SKIP() << "vsftpd is not installed (tools/deps.sh installs it)";
    if (geteuid() != 0) GTEST_SKIP() << "vsftpd chroots anonymous sessions only when started as root";
    Vsftpd server;
    ASSERT_TRUE(server.Start(dir.path() / "vsftpd", dir.File("vsftpd.log")))
        << Text(ReadBytes(dir.File("vsftpd.log")));
    globals.ftp_port = server.port;
    StoreAndCompare(server.root / "up", "up/");
}

// Each failure ends with its texts, "FTP Connection Failed" when the login
// failed, and leaves no connection open.
struct FailureCase {
    std::string what;
    std::vector<std::string> statuses;  // the transfer's status texts
    bool login_failed;
};

class FtpFailures : public TransferFixture {
protected:
    // settle: lets a peer of the test's own finish with its connection.
    void Expect(const FailureCase& c, const char* name = "WAVE.WFM", const std::function<void()>& settle = {}) {
        Statuses().clear();
        int descriptors = OpenDescriptors();
        int finish = -1;
        int result = CompileFtp(name, &finish);
        if (settle) settle();
        EXPECT_EQ(OpenDescriptors(), descriptors) << c.what;
        EXPECT_EQ(TransferStatuses(), c.statuses) << c.what;
        if (c.login_failed) {
            EXPECT_EQ(result, -1) << c.what;
            EXPECT_EQ(Messages(), std::vector<std::string>{"COMPILATION ERROR|FTP Connection Failed"}) << c.what;
        } else {
            EXPECT_EQ(result, COMPILE_FAILED) << c.what;
            EXPECT_EQ(finish, 0) << c.what;
            EXPECT_TRUE(Messages().empty()) << c.what;
        }
    }
};

TEST_F(FtpFailures, NothingListening) {
    globals.ftp_port = FreePort();
    Expect({"refused", {"Establishing Network Connection..", "Network Connection Failed. Exiting.."}, true});
}

TEST_F(FtpFailures, ServerThatStaysSilent) {
    Listener silent;
    globals.ftp_port = silent.port;
    Expect({"silent", {"Establishing Network Connection..", "Network Connection Failed. Exiting.."}, true});
}

TEST_F(FtpFailures, LoginRefused) {
    if (!PyftpdlibInstalled()) GTEST_SKIP() << "python3-pyftpdlib is not installed (tools/deps.sh installs it)";
    Pyftpd server;
    ASSERT_TRUE(server.Start(dir.path(), dir.File("pyftpd.log"), Pyftpd::USER_ONLY));
    globals.ftp_port = server.port;
    Expect({"login", Join(kLogin, {"530 Anonymous access not allowed.", "Command PASS(230) Failed. Exiting.."}), true});
}

TEST_F(FtpFailures, StoreRefused) {
    if (!PyftpdlibInstalled()) GTEST_SKIP() << "python3-pyftpdlib is not installed (tools/deps.sh installs it)";
    Pyftpd server;
    ASSERT_TRUE(server.Start(dir.path(), dir.File("pyftpd.log"), Pyftpd::READ_ONLY));
    globals.ftp_port = server.port;
    Expect({"read-only server",
            Join(Join(kLogin, kFile), {"550 Not enough privileges.", "Command STOR(150) Failed. Exiting.."}),
            false});
}

TEST_F(FtpFailures, StoreIntoReadOnlyDirectory) {
    if (!Executable(VSFTPD)) GTEST_SKIP() << "vsftpd is not installed (tools/deps.sh installs it)";
    if (geteuid() != 0) GTEST_SKIP() << "vsftpd chroots anonymous sessions only when started as root";
    Vsftpd server;
    ASSERT_TRUE(server.Start(dir.path() / "vsftpd", dir.File("vsftpd.log")));
    globals.ftp_port = server.port;
    Expect({"read-only directory",
            Join(Join(kLogin, kFile), {"553 Could not create file.", "Command STOR(150) Failed. Exiting.."}),
            false},
           "ro/WAVE.WFM");
    EXPECT_FALSE(std::filesystem::exists(server.root / "ro" / "WAVE.WFM"));
}

TEST_F(FtpFailures, NamesThatCannotBeSent) {
    globals.ftp_port = FreePort();
    EXPECT_EQ(PrepareFtpOutput(""), 1);  // nothing typed: the run stops silently
    EXPECT_EQ(PrepareFtpOutput("WAVE.WFM\r\nDELE X"), -1);
    EXPECT_EQ(PrepareFtpOutput("A_NAME_OF_21_CHARS.XX"), -1);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"COMPILATION ERROR|Invalid FTP File Name",
                                                    "COMPILATION ERROR|The FTP File Name has more than 20 characters"}));
    EXPECT_TRUE(Statuses().empty());
}

// --- a scripted peer -----------------------------------------------------------------

// Answers each expected command with its reply pieces, sent apart so that
// the client sees them in separate reads; records the commands as received.
class ScriptedPeer {
public:
    struct Step {
        std::string command;              // "" for the greeting
        std::vector<std::string> pieces;  // "{PASV}" stands for the data address "127,0,0,1,p1,p2"
        bool reset_data = false;          // accept the data connection and reset it first
    };
    explicit ScriptedPeer(std::vector<Step> script) : script_(std::move(script)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~ScriptedPeer() {
        listener_.Close();
        data_.Close();
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return listener_.port; }
    // Waits until the client has closed its connection.
    std::vector<std::string> Commands() {
        if (thread_.joinable()) thread_.join();
        return commands_;
    }

private:
    void Run() {
        int fd = listener_.Accept();
        if (fd < 0) return;
        int data_fd = -1;
        for (const Step& step : script_) {
            if (!step.command.empty()) {
                std::string line;
                char c;
                while (line.size() < 512 && recv(fd, &c, 1, 0) == 1) {
                    line += c;
                    if (c == '\n') break;
                }
                commands_.push_back(line);
            }
            if (step.reset_data && (data_fd = data_.Accept()) >= 0) {
                linger reset{1, 0};
                setsockopt(data_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                close(data_fd);
            }
            for (std::string piece : step.pieces) {
                if (auto at = piece.find("{PASV}"); at != std::string::npos)
                    piece.replace(at, 6, "127,0,0,1," + std::to_string(data_.port / 256) + "," +
                                             std::to_string(data_.port % 256));
                send(fd, piece.data(), piece.size(), MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
        }
        ReadUntilClosed(fd);
        close(fd);
    }
    Listener listener_;
    Listener data_;
    std::vector<Step> script_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

TEST_F(FtpFailures, RepliesInPiecesAndOnSeveralLines) {
    ScriptedPeer peer({
        {"", {"220-Wel", "come to\r\n220-the scripted", " peer\r\n220 ready\r\n"}},
        {"USER anonymous\r\n", {"331 ok\r\n"}},
        {"PASS lupin\r\n", {"230-Logged in\r\n230 (230 lines on a 230 day)\r\n"}},
        {"CWD /\r\n", {"250 ok", "\r\n"}},
        {"TYPE I\r\n", {"200 ok\n"}},  // a bare line feed ends a reply as well
        {"PASV\r\n", {"227 Entering Passive Mode (127,0,0,1,4)\r\n"}},
    });
    globals.ftp_port = peer.port();
    int control = 0, data = 0;
    ASSERT_EQ(FTPConnect(&control), 1) << ::testing::PrintToString(Statuses());
    EXPECT_EQ(FTPConnect2(&control, &data, "WAVE.WFM"), 0);
    EXPECT_EQ(data, 0);
    EXPECT_EQ(Statuses(), Join(Join(kLogin, {"Changing directory to root..", "Setting binary transfer mode..",
                                             "Retrieving socket information.."}),
                               {"227 Entering Passive Mode (127,0,0,1,4)", "Command PASV(227) Failed. Exiting.."}));
    EXPECT_EQ(DisconnectFromTCPServer(control), 0);
    EXPECT_EQ(peer.Commands(), (std::vector<std::string>{"USER anonymous\r\n", "PASS lupin\r\n", "CWD /\r\n",
                                                         "TYPE I\r\n", "PASV\r\n"}));
}

// FTPConnect3 is the login and the file's opening in one call; when the
// second half fails it closes the control connection it opened.
TEST_F(FtpFailures, WholeOpeningInOneCall) {
    const std::vector<ScriptedPeer::Step> opening = {
        {"", {"220 ready\r\n"}},
        {"USER anonymous\r\n", {"331 ok\r\n"}},
        {"PASS lupin\r\n", {"230 ok\r\n"}},
        {"CWD /\r\n", {"250 ok\r\n"}},
        {"TYPE I\r\n", {"200 ok\r\n"}},
    };
    {
        std::vector<ScriptedPeer::Step> script = opening;
        script.push_back({"PASV\r\n", {"227 Entering Passive Mode ({PASV})\r\n"}});
        script.push_back({"STOR /WAVE.WFM\r\n", {"150 ok\r\n"}});
        ScriptedPeer peer(script);
        globals.ftp_port = peer.port();
        int control = 0, data = 0;
        ASSERT_EQ(FTPConnect3(&control, &data, "WAVE.WFM"), 1) << ::testing::PrintToString(Statuses());
        EXPECT_NE(control, 0);
        EXPECT_NE(data, 0);
        EXPECT_EQ(DisconnectFromTCPServer(data), 0);
        EXPECT_EQ(DisconnectFromTCPServer(control), 0);
        EXPECT_EQ(peer.Commands(), (std::vector<std::string>{"USER anonymous\r\n", "PASS lupin\r\n", "CWD /\r\n",
                                                             "TYPE I\r\n", "PASV\r\n", "STOR /WAVE.WFM\r\n"}));
    }
    {
        std::vector<ScriptedPeer::Step> script = opening;
        script.push_back({"PASV\r\n", {"500 no passive mode\r\n"}});
        ScriptedPeer peer(script);
        globals.ftp_port = peer.port();
        int control = 0, data = 0;
        EXPECT_EQ(FTPConnect3(&control, &data, "WAVE.WFM"), 0);
        EXPECT_EQ(control, 0);
        EXPECT_EQ(data, 0);
        // The peer sees the connection closed right after the refused PASV.
        EXPECT_EQ(peer.Commands().back(), "PASV\r\n");
    }
}

// The expected code counts wherever it stands in the reply line.
TEST_F(FtpFailures, CodeInsideTheReplyText) {
    ScriptedPeer peer({{"", {"service ready (220)\r\n"}},
                       {"USER anonymous\r\n", {"230 no password needed; reply 1331 for the client\r\n"}},
                       {"PASS lupin\r\n", {"ok, logged in: 2301\r\n"}}});
    globals.ftp_port = peer.port();
    int control = 0;
    EXPECT_EQ(FTPConnect(&control), 1) << ::testing::PrintToString(Statuses());
    EXPECT_EQ(Statuses(), kLogin);
    EXPECT_EQ(DisconnectFromTCPServer(control), 0);
    EXPECT_EQ(peer.Commands(), (std::vector<std::string>{"USER anonymous\r\n", "PASS lupin\r\n"}));
}

TEST_F(FtpFailures, ReplyWithTheWrongCode) {
    ScriptedPeer peer({{"", {"220 ready\r\n"}}, {"USER anonymous\r\n", {"530 no anonymous here\r\n"}}});
    globals.ftp_port = peer.port();
    int control = 0;
    EXPECT_EQ(FTPConnect(&control), 0);
    EXPECT_EQ(control, 0);
    EXPECT_EQ(Statuses(), (std::vector<std::string>{"Establishing Network Connection..", "Sending user name..",
                                                    "530 no anonymous here", "Command USER(331) Failed. Exiting.."}));
    EXPECT_EQ(peer.Commands(), std::vector<std::string>{"USER anonymous\r\n"});  // closed after the failure
}

// A write on the data connection that fails is a failed transfer, even when
// the server then reports the (cut) file as complete.
TEST_F(FtpFailures, DataConnectionLost) {
    ScriptedPeer peer({
        {"", {"220 ready\r\n"}},
        {"USER anonymous\r\n", {"331 ok\r\n"}},
        {"PASS lupin\r\n", {"230 ok\r\n"}},
        {"CWD /\r\n", {"250 ok\r\n"}},
        {"TYPE I\r\n", {"200 ok\r\n"}},
        {"PASV\r\n", {"227 Entering Passive Mode ({PASV})\r\n"}},
        {"STOR /WAVE.WFM\r\n", {"150 ok\r\n", "226 Transfer complete.\r\n"}, true},
        {"DELE /WAVE.WFM\r\n", {"250 deleted\r\n"}},
    });
    globals.ftp_port = peer.port();
    std::vector<std::string> commands;
    Expect({"data connection reset",
            Join(Join(kLogin, kFile), {"Network Connection Failed. Exiting..",
                                       "Transfer of WAVE.WFM cut after 0 bytes; the partial file was deleted"}),
            false},
           "WAVE.WFM", [&] { commands = peer.Commands(); });
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "DELE /WAVE.WFM\r\n");  // no QUIT on a broken dialogue
}

TEST_F(FtpServers, CancelledPassEndsTheDialogue) {
    if (!PyftpdlibInstalled()) GTEST_SKIP() << "python3-pyftpdlib is not installed (tools/deps.sh installs it)";
    Pyftpd server;
    ASSERT_TRUE(server.Start(dir.path(), dir.File("pyftpd.log"), Pyftpd::WRITABLE));
    globals.ftp_port = server.port;
    AllOutputs();
    core_hooks.cancel_requested = [] {
        return !Statuses().empty() && Statuses().back() == "Creating file in target.." ? 1 : 0;
    };
    int descriptors = OpenDescriptors();
    int finish = -1;
    EXPECT_EQ(CompileFtp("WAVE.WFM", &finish), COMPILE_CANCELLED);
    EXPECT_EQ(finish, 0);
    // The server took the closed data connection for a complete file: it is deleted.
    std::vector<std::string> statuses = TransferStatuses();
    ASSERT_EQ(statuses.size(), kLogin.size() + kFile.size() + 2) << ::testing::PrintToString(statuses);
    EXPECT_EQ(std::vector<std::string>(statuses.begin(), statuses.begin() + 7), Join(kLogin, kFile));
    EXPECT_EQ(statuses[7].rfind("Transfer of WAVE.WFM cut after ", 0), 0u) << statuses[7];
    EXPECT_NE(statuses[7].find(" bytes; the partial file was deleted"), std::string::npos) << statuses[7];
    EXPECT_EQ(statuses[8], "221 Goodbye.");
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "WAVE.WFM"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "WAVE_I.WFM"));
}

}  // namespace
