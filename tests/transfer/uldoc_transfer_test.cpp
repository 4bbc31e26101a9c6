// uldoc's destinations 0 and 3: the built program against the capture
// backend and a pyftpdlib server, compared with its own file outputs.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/run_uldoc.h"
#include "transfer_fixture.h"

using namespace transfertest;

namespace {

const std::string kMixed = std::string(ULDO_SOURCE_DIR) + "/examples/mixed.json";

using Outcome = UldocOutcome;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class UldocTransfer : public ::testing::Test {
protected:
    // Runs uldoc on the example table in the test's directory.
    Outcome Run(const std::string& environment, const std::vector<std::string>& args) {
        std::vector<std::string> all = {kMixed, "--length", "20000"};
        all.insert(all.end(), args.begin(), args.end());
        return RunUldoc(dir.path().string(), all, dir.File("uldoc"), environment);
    }
    TempDir dir;
};

TEST_F(UldocTransfer, GpibThroughTheChosenBackend) {
    Outcome file = Run("", {"--destination", "2", "--passes", "rf,i", "-o", "w.gpi"});
    ASSERT_EQ(file.code, 0) << file.err;

    Outcome sent = Run("ULDO_GPIB=capture:bus.capture", {"--destination", "0", "--passes", "rf,i"});
    EXPECT_EQ(sent.code, 0) << sent.err;
    EXPECT_NE(sent.out.find("sent           RF to GPIB address 0\n               baseband I to GPIB address 0\n"),
              std::string::npos)
        << sent.out;
    // The bytes between the reset and each return to local are the file's.
    std::string bus = Text(ReadBytes(dir.File("bus.capture")));
    std::string rst = "SendIFC 0\nSend 0 0 4 DABend\n*rst\n";
    ASSERT_EQ(bus.compare(0, rst.size(), rst), 0);
    std::string pass[2];
    size_t at = rst.size();
    for (int p = 0; p < 2; ++p) {
        while (bus.compare(at, 12, "EnableLocal ") != 0) {
            size_t lf = bus.find('\n', at);
            ASSERT_NE(lf, std::string::npos);
            long count = std::stol(bus.substr(at + 9, lf - at - 9));  // "Send 0 0 COUNT MODE"
            pass[p] += bus.substr(lf + 1, static_cast<size_t>(count));
            at = lf + 1 + static_cast<size_t>(count) + 1;
        }
        at = bus.find('\n', at) + 1;
    }
    EXPECT_EQ(at, bus.size());
    EXPECT_TRUE(pass[0] == Text(ReadBytes(dir.File("w.gpi"))));
    EXPECT_TRUE(pass[1] == Text(ReadBytes(dir.File("w_I.gpi"))));

    Outcome absent = Run("ULDO_GPIB=linux-gpib:/nonexistent/libgpib.so", {"--destination", "0"});
    EXPECT_EQ(absent.code, 1);
    EXPECT_EQ(absent.err, "COMPILATION ERROR: GPIB card not found\n");
}

TEST_F(UldocTransfer, FtpStoresTheFilesAndReportsEachStep) {
    if (!PyftpdlibInstalled()) GTEST_SKIP() << "python3-pyftpdlib is not installed (tools/deps.sh installs it)";
    std::filesystem::create_directories(dir.path() / "served");
    Pyftpd server;
    ASSERT_TRUE(server.Start(dir.path() / "served", dir.File("pyftpd.log"), Pyftpd::WRITABLE));
    std::string port = std::to_string(server.port);

    Outcome native = Run("", {"--passes", "rf,q", "-o", "native.wfm"});
    ASSERT_EQ(native.code, 0) << native.err;
    Outcome stored = Run("", {"--destination", "3", "--passes", "rf,q", "--ip", "127.0.0.1", "--ftp-port", port,
                              "--ftp-name", "W.WFM"});
    EXPECT_EQ(stored.code, 0) << stored.err;
    EXPECT_TRUE(ReadBytes(dir.File("served/W.WFM")) == ReadBytes(dir.File("native.wfm")));
    EXPECT_TRUE(ReadBytes(dir.File("served/W_Q.WFM")) == ReadBytes(dir.File("native_Q.wfm")));
    std::vector<std::string> file = {"Changing directory to root..", "Setting binary transfer mode..",
                                     "Retrieving socket information..", "Creating file in target.."};
    std::vector<std::string> expected = {"Establishing Network Connection..", "Sending user name..",
                                         "Sending password..", "FSK preprocessing..", "Compiling..", "Sending RF.."};
    expected.insert(expected.end(), file.begin(), file.end());
    expected.push_back("Sending Baseband Q..");
    expected.insert(expected.end(), file.begin(), file.end());
    expected.push_back("221 Goodbye.");
    EXPECT_EQ(Lines(stored.err), expected);

    Outcome refused = Run("", {"--destination", "3", "--ip", "127.0.0.1", "--ftp-port", std::to_string(FreePort())});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err,
              "Establishing Network Connection..\nNetwork Connection Failed. Exiting..\n"
              "COMPILATION ERROR: FTP Connection Failed\n");
}

}  // namespace
