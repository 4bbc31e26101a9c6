// GPIB output: the call sequences with their end modes (capture backend),
// the GPIB-format file against the bytes on the bus, the LAN path against a
// listener of the test's own, and the failures of each backend.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "transfer_fixture.h"

using namespace transfertest;

namespace {

struct Call {
    std::string name;       // SendIFC, Send, EnableLocal
    std::string arguments;  // the rest of its line
    std::string end_mode;
    std::string bytes;
};

std::vector<Call> ReadCapture(const std::string& path) {
    std::string text = Text(ReadBytes(path));
    std::vector<Call> calls;
    size_t at = 0;
    while (at < text.size()) {
        size_t lf = text.find('\n', at);
        if (lf == std::string::npos) break;
        std::string line = text.substr(at, lf - at);
        at = lf + 1;
        Call c;
        size_t space = line.find(' ');
        c.name = line.substr(0, space);
        c.arguments = space == std::string::npos ? "" : line.substr(space + 1);
        if (c.name == "Send") {
            int board = -1;
            unsigned address = 0;
            long count = -1;
            char mode[16] = "";
            sscanf(c.arguments.c_str(), "%d %u %ld %15s", &board, &address, &count, mode);
            c.end_mode = mode;
            c.bytes = text.substr(at, static_cast<size_t>(count));
            at += static_cast<size_t>(count);
            EXPECT_EQ(text[at], '\n');
            ++at;
            c.arguments = std::to_string(board) + " " + std::to_string(address);
        }
        calls.push_back(c);
    }
    return calls;
}

// Text messages as they are, data blocks by their size.
std::vector<std::string> Render(const std::vector<Call>& calls) {
    std::vector<std::string> out;
    for (const Call& c : calls) {
        if (c.name != "Send") {
            out.push_back(c.name + " " + c.arguments);
            continue;
        }
        bool text = true;
        for (unsigned char b : c.bytes) text = text && (b == '\r' || b == '\n' || (b >= 0x20 && b < 0x7F));
        out.push_back("Send " + c.arguments + " " + c.end_mode + " " +
                      (text ? c.bytes : "[" + std::to_string(c.bytes.size()) + "]"));
    }
    return out;
}

class Gpib : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        globals.gpib_address = 0x10A07;  // only the low 16 bits address the instrument
        capture = dir.File("bus.capture");
        setenv("ULDO_GPIB", ("capture:" + capture).c_str(), 1);
    }
    std::string capture;
};

const char* const kStart[] = {"SendIFC 0", "Send 0 2567 DABend *rst"};

TEST_F(Gpib, SequencesPerTargetFamily) {
    struct Case {
        const char* what;
        int type, samples, pass;
        std::vector<std::string> pass_calls;
    } cases[] = {
        {"WFM: header, two full blocks, the partial block, EOI only with the trailer",
         0, 1000, 1,
         {"Send 0 2567 NULLend MMEM:DATA \"BROXEL.WFM\",#45042MAGIC 1000\r\n#45000", "Send 0 2567 NULLend [2000]",
          "Send 0 2567 NULLend [2000]", "Send 0 2567 NULLend [1000]",
          "Send 0 2567 DABend CLOCK 100000000.000000\r\n", "EnableLocal 0 2567"}},
        {"PAT: no partial block",
         5, 2000, 1,
         {"Send 0 2567 NULLend MMEM:DATA \"BROXEL.PAT\",#44042MAGIC 2000\r\n#44000", "Send 0 2567 NULLend [2000]",
          "Send 0 2567 NULLend [2000]", "Send 0 2567 DABend CLOCK 100000000.000000\r\n", "EnableLocal 0 2567"}},
        {"CURVE: the one full block carries EOI",
         1, 1000, 1,
         {"Send 0 2567 DABend :DATA:DESTINATION \"BROXEL.WFM\";:DATA:WIDTH 2;:DATA:ENCDG SRPBINARY;"
          ":WFMPRE:XINCR 1e-08\r\n",
          "Send 0 2567 NULLend CURVE #42000", "Send 0 2567 DABend [2000]", "EnableLocal 0 2567"}},
        {"EMEMORY pass 3 copies to USER3 and selects USER1",
         3, 1000, 3,
         {"Send 0 2567 DABend TRACE:DEFINE EMEMORY,1000", "Send 0 2567 DABend FORMAT:BORDER SWAPPED",
          "Send 0 2567 NULLend DATA EMEMORY,#42000", "Send 0 2567 DABend [2000]",
          "Send 0 2567 DABend TRACE:COPY USER3,EMEMORY", "Send 0 2567 DABend FUNCTION USER1",
          "Send 0 2567 DABend FREQUENCY 1e+05HZ", "Send 0 2567 DABend OUTPUT ON", "EnableLocal 0 2567"}},
    };
    for (const Case& c : cases) {
        SetSamples(c.samples);
        globals.instrument_type = c.type;
        globals.output_rf = c.pass == 1;
        globals.output_baseband_q = c.pass == 3;
        ASSERT_EQ(CompileGpib(), COMPILE_DONE) << c.what;
        std::vector<std::string> expected(std::begin(kStart), std::end(kStart));
        expected.insert(expected.end(), c.pass_calls.begin(), c.pass_calls.end());
        EXPECT_EQ(Render(ReadCapture(capture)), expected) << c.what;
        EXPECT_TRUE(Messages().empty()) << c.what;
    }
}

// The GPIB-format file holds the bytes of the bus messages; where a pass
// sends several messages the file joins them with ";:".
TEST_F(Gpib, FormatFileHoldsTheBusBytes) {
    AllOutputs();
    for (int type : {0, 5, 1}) {
        globals.instrument_type = type;
        ASSERT_EQ(CompileToFiles(dir.File("wave.gpi"), 2), COMPILE_DONE);
        ASSERT_FALSE(std::filesystem::exists(capture)) << "a GPIB-format file makes no bus call";
        ASSERT_EQ(CompileGpib(), COMPILE_DONE);
        std::vector<Call> calls = ReadCapture(capture);
        std::filesystem::remove(capture);
        std::string passes[4];
        int pass = 1;
        for (size_t k = 2; k < calls.size(); ++k) {  // after the interface clear and the reset
            const Call& c = calls[k];
            if (c.name == "EnableLocal") {
                ++pass;
                continue;
            }
            ASSERT_LE(pass, 3);
            passes[pass] += c.bytes;
            bool last = k + 1 < calls.size() && calls[k + 1].name == "EnableLocal";
            if (c.end_mode == "DABend" && !last) passes[pass] += ";:";
        }
        EXPECT_EQ(pass, 4) << type;
        const char* files[4] = {"", "wave.gpi", "wave_I.gpi", "wave_Q.gpi"};
        for (int p = 1; p <= 3; ++p) EXPECT_TRUE(Text(ReadBytes(dir.File(files[p]))) == passes[p]) << type << " " << p;
    }
}

TEST_F(Gpib, CancelledPassStaysIncomplete) {
    core_hooks.cancel_requested = [] { return !Statuses().empty() && Statuses().back() == "Sending RF.." ? 1 : 0; };
    EXPECT_EQ(CompileGpib(), COMPILE_CANCELLED);
    std::vector<std::string> calls = Render(ReadCapture(capture));
    ASSERT_GE(calls.size(), 3u);
    for (size_t k = 2; k < calls.size(); ++k) {
        EXPECT_EQ(calls[k].find("DABend"), std::string::npos) << calls[k];
        EXPECT_EQ(calls[k].find("EnableLocal"), std::string::npos) << calls[k];
    }
}

// --- LAN -------------------------------------------------------------------

TEST_F(Gpib, LanCarriesTheMessagesWithLineFeeds) {
    ASSERT_EQ(CompileToFiles(dir.File("wave.gpi"), 2), COMPILE_DONE);
    Listener instrument;
    std::string received;
    std::thread reader([&] {
        int fd = instrument.Accept();
        if (fd < 0) return;
        received = ReadUntilClosed(fd);  // EnableLocal ends the session
        close(fd);
    });
    // The host comes from the instrument address setting.
    setenv("ULDO_GPIB", ("lan::" + std::to_string(instrument.port)).c_str(), 1);
    EXPECT_EQ(CompileGpib(), COMPILE_DONE);
    reader.join();
    EXPECT_TRUE(received == "*rst\n" + Text(ReadBytes(dir.File("wave.gpi"))) + "\n");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(Gpib, LanInstrumentThatGoesAway) {
    auto gone = std::make_unique<Listener>();
    setenv("ULDO_GPIB", ("lan:127.0.0.1:" + std::to_string(gone->port)).c_str(), 1);
    SendIFC(0);
    EXPECT_FALSE(ibsta & ERR);
    gone.reset();  // closing the listener resets the connection it had not accepted
    Send(0, 1, "*rst", 4, DABend);
    EXPECT_TRUE(ibsta & ERR) << "the reset must reach an instrument";

    Listener leaves;
    setenv("ULDO_GPIB", ("lan:127.0.0.1:" + std::to_string(leaves.port)).c_str(), 1);
    ASSERT_EQ(PrepareGpibOutput(), 0);
    leaves.Close();
    GpibSink sinks[4];
    CompileTargets targets{};
    InitGpibSink(&sinks[1]);
    targets.sink[1] = &sinks[1].sink;
    EXPECT_EQ(CompileTable(&targets), COMPILE_FAILED);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].rfind("COMPILATION ERROR|GPIB Transfer Failed (instrument at 127.0.0.1 port ", 0), 0u)
        << Messages()[0];
}

TEST_F(Gpib, NoCard) {
    std::string unknown = "serial:/dev/ttyS0";
    int refused = FreePort();
    struct Case {
        std::string setting;
        std::vector<std::string> messages;
    } cases[] = {
        {"linux-gpib:/nonexistent/libgpib.so", {"COMPILATION ERROR|GPIB card not found"}},
        {"lan:127.0.0.1:" + std::to_string(refused),
         {"COMPILATION ERROR|Instrument cannot be reached at 127.0.0.1 port " + std::to_string(refused) +
          ": Connection refused"}},
        {"capture:" + dir.File("no/such/dir/bus.capture"), {"COMPILATION ERROR|GPIB card not found"}},
        {unknown,
         {"COMPILATION ERROR|ULDO_GPIB is not a GPIB interface: \"serial:/dev/ttyS0\" "
          "(linux-gpib[:LIBRARY], lan[:HOST[:PORT]], capture:FILE)",
          "COMPILATION ERROR|GPIB card not found"}},
    };
    for (const Case& c : cases) {
        Messages().clear();
        setenv("ULDO_GPIB", c.setting.c_str(), 1);
        EXPECT_EQ(CompileGpib(), -1) << c.setting;
        EXPECT_EQ(Messages(), c.messages) << c.setting;
    }
    // The default backend on a machine without the GPIB library.
    if (void* library = dlopen("libgpib.so", RTLD_NOW | RTLD_LOCAL)) {
        dlclose(library);
    } else if (void* library0 = dlopen("libgpib.so.0", RTLD_NOW | RTLD_LOCAL)) {
        dlclose(library0);
    } else {
        Messages().clear();
        unsetenv("ULDO_GPIB");
        EXPECT_EQ(CompileGpib(), -1);
        EXPECT_EQ(Messages(), std::vector<std::string>{"COMPILATION ERROR|GPIB card not found"});
    }
}

}  // namespace
