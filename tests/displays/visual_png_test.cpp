// uldoc --png draws the visual displays too, on the panels' own graphs,
// without any display.
#include <gtest/gtest.h>

#include <string>

#include "support/run_uldoc.h"
#include "support/tempdir.h"

namespace {

// Width and height from a PNG's header chunk.
bool PngSize(const std::string& png, unsigned* width, unsigned* height) {
    if (png.size() < 24 || png.compare(0, 4, "\x89PNG") != 0 || png.compare(12, 4, "IHDR") != 0) return false;
    auto word = [&](size_t at) {
        unsigned v = 0;
        for (size_t k = 0; k < 4; ++k) v = v << 8 | static_cast<unsigned char>(png[at + k]);
        return v;
    };
    *width = word(16);
    *height = word(20);
    return true;
}

TEST(UldocVisualImages, EyeConstellationPhasePersistenceAndQuantisation) {
    TempDir dir;
    std::string table = std::string(ULDO_SOURCE_DIR) + "/examples/3gpp.json";
    UldocOutcome r = RunUldoc(dir.path().string(), {table, "--png", "plots"}, dir.File("uldoc"),
                              "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("images         plots/spectrum.png, ccdf.png, iq.png, eye.png, constellation.png, "
                         "phase.png, persistence.png, quant.png\n"),
              std::string::npos)
        << r.out;
    // Twice the size of the graphs on their panels; the eye holds its I and Q graphs.
    const struct {
        const char* name;
        unsigned width, height;
    } images[] = {
        {"eye.png", 1200, 1080},        {"constellation.png", 1040, 1040}, {"phase.png", 1040, 1040},
        {"persistence.png", 1000, 1000}, {"quant.png", 1320, 680},
    };
    for (const auto& image : images) {
        std::string png = FileText(dir.File(std::string("plots/") + image.name));
        unsigned width = 0, height = 0;
        ASSERT_TRUE(PngSize(png, &width, &height)) << image.name;
        EXPECT_EQ(width, image.width) << image.name;
        EXPECT_EQ(height, image.height) << image.name;
        EXPECT_GT(png.size(), 10000u) << image.name;
    }
}

}  // namespace
