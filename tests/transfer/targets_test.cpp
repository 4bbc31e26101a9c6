// The compile targets both drivers build: pass file names and the sinks of
// the enabled passes.
#include <gtest/gtest.h>

#include <string>

#include "compile/iqformats.h"
#include "support/core_fixture.h"
#include "transfer/targets.h"

namespace {

class Targets : public CoreFixture {};

TEST_F(Targets, PassFilesAreNamedBesideTheWaveform) {
    struct Case {
        const char* path;
        int with_iq;
        int format;
        const char* i;
        const char* q;
        const char* iq;
    };
    for (const Case& c : {
             Case{"out/wave.wfm", 1, IQ_CF32_LE, "out/wave_I.wfm", "out/wave_Q.wfm", "out/wave.cf32"},
             // A dot in a directory is not the extension; a name without one gets the suffix at its end.
             Case{"runs.v2/wave", 1, IQ_CI16_LE, "runs.v2/wave_I", "runs.v2/wave_Q", "runs.v2/wave.ci16"},
             Case{"a.tar.wfm", 0, IQ_CF32_LE, "a_I.tar.wfm", "a_Q.tar.wfm", ""},
         }) {
        char names[PASS_IQ + 1][TARGET_PATH_SIZE];
        ASSERT_EQ(NamePassFiles(c.path, c.with_iq, c.format, names), 0) << c.path;
        EXPECT_STREQ(names[1], c.path);
        EXPECT_STREQ(names[2], c.i);
        EXPECT_STREQ(names[3], c.q);
        EXPECT_STREQ(names[PASS_IQ], c.iq);
    }
}

TEST_F(Targets, ANameThatDoesNotFitLeavesNoNames) {
    // The path fits, its "_I" form does not: a cut name would point at another file.
    std::string path(TARGET_PATH_SIZE - 2, 'w');
    char names[PASS_IQ + 1][TARGET_PATH_SIZE];
    EXPECT_EQ(NamePassFiles(path.c_str(), 0, IQ_CF32_LE, names), -1);
    for (int p = 0; p <= PASS_IQ; ++p) EXPECT_STREQ(names[p], "") << p;
}

TEST_F(Targets, OneSinkPerEnabledPassOfTheDestinationsKind) {
    char names[PASS_IQ + 1][TARGET_PATH_SIZE];
    ASSERT_EQ(NamePassFiles("wave.wfm", 1, IQ_CF32_LE, names), 0);
    const int enabled[PASS_IQ + 1] = {0, 1, 0, 1, 1};
    CompileTargets files{};
    ASSERT_EQ(BuildCompileTargets(1, enabled, names, &files), 0);
    EXPECT_EQ(files.sink[1], &target_sinks.files[1].sink);
    EXPECT_EQ(files.sink[2], nullptr);
    EXPECT_EQ(files.sink[3], &target_sinks.files[3].sink);
    EXPECT_EQ(files.sink[PASS_IQ], &target_sinks.files[PASS_IQ].sink);
    EXPECT_STREQ(target_sinks.files[3].path, "wave_Q.wfm");
    EXPECT_EQ(target_sinks.files[3].sink.context, &target_sinks.files[3]);
    EXPECT_EQ(target_sinks.files[3].outcome, FILE_PENDING);

    const int rf_and_i[PASS_IQ + 1] = {0, 1, 1, 0, 0};
    CompileTargets bus{}, server{};
    ASSERT_EQ(BuildCompileTargets(0, rf_and_i, nullptr, &bus), 0);
    EXPECT_EQ(bus.sink[2], &target_sinks.buses[2].sink);
    EXPECT_EQ(bus.sink[3], nullptr);
    ASSERT_EQ(BuildCompileTargets(3, rf_and_i, nullptr, &server), 0);
    EXPECT_EQ(server.sink[1], &target_sinks.servers[1].sink);
    EXPECT_EQ(target_sinks.servers[2].pass, 2);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(Targets, RefusalsNameTheProblem) {
    const int rf[PASS_IQ + 1] = {0, 1, 0, 0, 0};
    const int iq[PASS_IQ + 1] = {0, 0, 0, 0, 1};
    char names[PASS_IQ + 1][TARGET_PATH_SIZE] = {};
    CompileTargets targets{};
    EXPECT_EQ(BuildCompileTargets(4, rf, names, &targets), -1);
    EXPECT_EQ(BuildCompileTargets(3, iq, names, &targets), -1);
    EXPECT_EQ(BuildCompileTargets(1, rf, names, &targets), -1);   // no name for the file
    ASSERT_EQ(Messages().size(), 3u);
    EXPECT_EQ(Messages()[0], "COMPILATION ERROR|Unknown output destination 4");
    EXPECT_EQ(Messages()[1], "COMPILATION ERROR|The complex I/Q record is written to a native-format file only.");
    EXPECT_EQ(Messages()[2], "COMPILATION ERROR|No file name for output pass 1.");
    EXPECT_EQ(targets.sink[1], nullptr);
}

}  // namespace
