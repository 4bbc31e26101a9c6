// The records do not depend on how many threads compute them: uldoc with one
// thread and with two writes the same bytes, for tables that take every
// kernel path (per-phase taps, long symbols, interpolation, GMSK/FSK, 8VSB).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_uldoc.h"
#include "support/tempdir.h"

namespace {

TEST(UldocThreads, OneAndTwoThreadsWriteTheSameRecords) {
    const std::string root = std::string(ULDO_SOURCE_DIR);
    struct Case {
        std::string table, setup;
    };
    const Case cases[] = {
        {root + "/examples/mixed.json", root + "/examples/default.json"},
        {root + "/examples/8vsb.json", root + "/examples/default.json"},
        {root + "/bench/compile_w3_table.json", root + "/bench/compile_w3_setup.json"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        std::vector<std::string> files[2];
        for (int threads : {1, 2}) {
            const std::string name = "t" + std::to_string(threads) + ".wfm";
            UldocOutcome run = RunUldoc(dir.path().string(), {c.table, "--setup", c.setup, "--passes", "rf,i,q", "--length",
                                                     "300000", "--mode", "0", "--threads", std::to_string(threads),
                                                     "-o", name},
                                        dir.File("log" + std::to_string(threads)));
            ASSERT_EQ(run.code, 0) << run.err;
            for (const char* suffix : {".wfm", "_I.wfm", "_Q.wfm"})
                files[threads - 1].push_back(
                    FileText(dir.File("t" + std::to_string(threads) + suffix)));
        }
        for (int k = 0; k < 3; ++k) {
            EXPECT_GT(files[0][k].size(), 300000u * 5) << k;
            EXPECT_TRUE(files[0][k] == files[1][k]) << "output " << k;
        }
    }
}

}  // namespace
