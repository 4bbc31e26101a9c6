// LAN instruments by resource string: the strings themselves, and uldoc's
// destination 0 over VXI-11 against the test's own VXI-11 instrument
// (tests/transfer/vxi11_server.py: portmapper and core channel on a loopback
// address of the 127/8 block, which needs root for the portmapper's port 111).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/run_uldoc.h"
#include "transfer_fixture.h"

using namespace transfertest;

namespace {

TEST(InstrumentResource, FormsAndRefusals) {
    struct Case {
        const char* text;
        bool valid;
        const char* why;  // part of the reason of a refusal
    };
    const Case cases[] = {
        {"TCPIP::192.168.0.20::INSTR", true, ""},
        {"TCPIP0::awg.lab.example::inst1::INSTR", true, ""},
        {"tcpip::[fe80::1]::INSTR", true, ""},
        {"TCPIP::awg::5025::SOCKET", true, ""},
        {"GPIB::12", true, ""},
        {"GPIB0::12::96::INSTR", true, ""},
        {"TCPIP::awg::0::SOCKET", false, "port must be 1 to 65535"},
        {"TCPIP::awg::70000::SOCKET", false, "port must be 1 to 65535"},
        {"TCPIP::::INSTR", false, "no host"},
        {"TCPIP::[::1::INSTR", false, "closing ]"},
        {"TCPIP::awg", false, "TCPIP::HOST::INSTR"},
        {"TCPIP::awg::a::b::INSTR", false, "TCPIP::HOST::INSTR"},
        {"GPIB::31", false, "0 to 30"},
        {"GPIB::5::12", false, "secondary address"},
        {"USB::0x1234::INSTR", false, "GPIB::ADDRESS"},
        {"", false, "empty"},
    };
    for (const Case& c : cases) {
        char why[160] = "";
        EXPECT_EQ(ParseInstrumentResource(c.text, why, sizeof why) == 0, c.valid) << c.text;
        if (!c.valid) EXPECT_NE(std::string(why).find(c.why), std::string::npos) << c.text << ": " << why;
    }
}

// The test instrument on its own loopback address, ended with the object.
struct Vxi11Instrument {
    ServerProcess process;
    std::string address;
    std::string log, data;

    bool Start(const TempDir& dir, const std::vector<std::string>& extra = {}) {
        // A loopback address of this process alone: the portmapper's port is fixed.
        const unsigned pid = static_cast<unsigned>(getpid());
        address = "127.77." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(1 + pid % 250);
        log = dir.File("vxi11.log");
        data = dir.File("vxi11.data");
        std::vector<std::string> argv = {PYTHON, std::string(ULDO_SOURCE_DIR) + "/tests/transfer/vxi11_server.py",
                                         address, log, data, "--seconds", "60"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        // Ready when its portmapper accepts connections.
        return process.Start(argv, dir.File("vxi11.out"), 111, address.c_str());
    }
    std::string Log() const { return FileText(log); }
};

class Vxi11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "the portmapper of the test instrument needs port 111 (root)";
        if (!Executable(PYTHON)) GTEST_SKIP() << "python3 is not installed";
    }
    UldocOutcome Run(const std::vector<std::string>& args) {
        std::vector<std::string> all = {std::string(ULDO_SOURCE_DIR) + "/examples/mixed.json", "--length", "20000"};
        all.insert(all.end(), args.begin(), args.end());
        return RunUldoc(dir.path().string(), all, dir.File("uldoc"));
    }
    TempDir dir;
};

// Every pass reaches the instrument whole, as the GPIB-format file holds it,
// and ends with *OPC? answered 1 and no error.
TEST_F(Vxi11, PassesEndWithOpcAnswered) {
    UldocOutcome file = Run({"--destination", "2", "--passes", "rf,q", "-o", "w.gpi"});
    ASSERT_EQ(file.code, 0) << file.err;
    Vxi11Instrument instrument;
    ASSERT_TRUE(instrument.Start(dir)) << FileText(dir.File("vxi11.out"));
    UldocOutcome sent = Run({"--instrument", "TCPIP::" + instrument.address + "::INSTR", "--passes", "rf,q"});
    ASSERT_EQ(sent.code, 0) << sent.err << instrument.Log();
    EXPECT_NE(sent.out.find("sent           RF to TCPIP::" + instrument.address + "::INSTR\n"), std::string::npos)
        << sent.out;
    EXPECT_NE(sent.out.find("instrument     *OPC? 1, SYST:ERR? 0,\"No error\"\n"), std::string::npos) << sent.out;

    std::string expected = "*rst";
    for (const char* name : {"w.gpi", "w_Q.gpi"})
        expected += FileText(dir.File(name)) + "*OPC?SYST:ERR?";
    EXPECT_TRUE(FileText(instrument.data) == expected) << "the instrument got other bytes";

    // One link per pass (and one for the reset); each message is one write with END.
    std::string log = instrument.Log();
    EXPECT_NE(log.find("create_link inst0"), std::string::npos) << log;
    EXPECT_EQ(log.find("device_write 0"), std::string::npos) << log;
    EXPECT_EQ(log.find(" - \n"), std::string::npos) << log;
    size_t opc = 0, answered = 0, destroyed = 0;
    for (size_t at = 0; (at = log.find("message 5 bytes: *OPC?", at)) != std::string::npos; ++at) ++opc;
    for (size_t at = 0; (at = log.find("device_read '1\\n'", at)) != std::string::npos; ++at) ++answered;
    for (size_t at = 0; (at = log.find("destroy_link", at)) != std::string::npos; ++at) ++destroyed;
    EXPECT_EQ(opc, 2u) << log;
    EXPECT_EQ(answered, 2u) << log;
    EXPECT_GE(destroyed, 2u) << log;
}

// What the instrument says decides the result.
TEST_F(Vxi11, InstrumentThatFailsTheTransfer) {
    struct Case {
        std::vector<std::string> server;
        std::string message;
    };
    const Case cases[] = {
        {{"--error", "-222,\"Data out of range\""}, "instrument error -222,\"Data out of range\")"},
        {{"--silent"}, "*OPC? was not answered)"},
    };
    for (const Case& c : cases) {
        Vxi11Instrument instrument;
        ASSERT_TRUE(instrument.Start(dir, c.server)) << FileText(dir.File("vxi11.out"));
        UldocOutcome sent = Run({"--instrument", "TCPIP::" + instrument.address + "::INSTR", "--timeout", "0.5",
                                 "--report", "json"});
        EXPECT_EQ(sent.code, 1) << sent.err;
        std::string expected = "COMPILATION ERROR: GPIB Transfer Failed (instrument at " + instrument.address + ": " +
                               c.message;
        EXPECT_NE(sent.err.find(expected), std::string::npos) << sent.err;
        EXPECT_NE(sent.out.find("\"status\": \"failed\""), std::string::npos) << sent.out;
        instrument.process.Stop();
    }
}

// The raw socket form reads the answers too: a peer that answers each query.
TEST(LanSocket, PassEndsWithOpcAnswered) {
    TempDir dir;
    Listener peer;
    std::string received;
    std::thread instrument([&] {
        for (int connection = 0; connection < 2; ++connection) {  // the reset, then the pass
            int fd = peer.Accept();
            if (fd < 0) return;
            std::string line;
            char c;
            pollfd p{fd, POLLIN, 0};
            while (poll(&p, 1, 10000) > 0 && recv(fd, &c, 1, 0) == 1) {
                received += c;
                if (c != '\n') {
                    line += c;
                    continue;
                }
                const char* answer = line == "*OPC?" ? "1\n" : line == "SYST:ERR?" ? "+0,\"No error\"\n" : nullptr;
                if (answer) send(fd, answer, std::strlen(answer), MSG_NOSIGNAL);
                line.clear();
            }
            close(fd);
        }
    });
    UldocOutcome sent = RunUldoc(dir.path().string(),
                                 {std::string(ULDO_SOURCE_DIR) + "/examples/mixed.json", "--length", "20000",
                                  "--instrument", "TCPIP::127.0.0.1::" + std::to_string(peer.port) + "::SOCKET"},
                                 dir.File("uldoc"));
    peer.Close();
    instrument.join();
    EXPECT_EQ(sent.code, 0) << sent.err;
    EXPECT_NE(sent.out.find("instrument     *OPC? 1, SYST:ERR? +0,\"No error\"\n"), std::string::npos) << sent.out;
    EXPECT_EQ(received.rfind("*rst\n", 0), 0u);
    EXPECT_NE(received.find("CLOCK "), std::string::npos);
    EXPECT_EQ(received.substr(received.size() - 16), "*OPC?\nSYST:ERR?\n");
}

TEST_F(Vxi11, NobodyAtTheAddress) {
    UldocOutcome sent = Run({"--instrument", "TCPIP::127.77.255.254::INSTR", "--timeout", "1"});
    EXPECT_EQ(sent.code, 1);
    EXPECT_NE(sent.err.find("COMPILATION ERROR: Instrument cannot be reached at 127.77.255.254 (VXI-11 inst0): "),
              std::string::npos)
        << sent.err;
}

}  // namespace
