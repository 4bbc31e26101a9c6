// The analysis report of uldoc and its images, from the built program run
// without any display.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/run_uldoc.h"
#include "support/tempdir.h"

namespace {

TEST(UldocAnalysis, ReportAndImagesWithoutADisplay) {
    TempDir dir;
    std::string table = std::string(ULDO_SOURCE_DIR) + "/examples/mixed.json";
    UldocOutcome r = RunUldoc(dir.path().string(), {table, "--png", "plots"}, dir.File("uldoc"),
                              "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    const std::string& out = r.out;
    ASSERT_EQ(r.code, 0) << out << r.err;
    EXPECT_NE(out.find("power table    no.  modulation         MHz |    dBm\n"
                       "                 1  QPSK         10.000000 |"),
              std::string::npos) << out;
    EXPECT_NE(out.find("\n                 6  UNMOD        45.000564 |"), std::string::npos) << out;
    EXPECT_NE(out.find("back-off       "), std::string::npos) << out;
    EXPECT_NE(out.find("CCDF           peak-to-average "), std::string::npos) << out;
    EXPECT_NE(out.find("at or above the average +2 dB "), std::string::npos) << out;
    for (const char* name : {"spectrum.png", "ccdf.png", "iq.png"}) {
        std::string png = FileText(dir.File(std::string("plots/") + name));
        EXPECT_EQ(png.substr(0, 4), "\x89PNG") << name;
        EXPECT_GT(png.size(), 5000u) << name;
    }
}

}  // namespace
