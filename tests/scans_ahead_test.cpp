#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/scans_ahead.hpp"

namespace hdrmill {
namespace {

const std::string scans = HDRMILL_TEST_SCANS;

// What a chart gets of its scan: the reasons it is refused, or its size and its reduced
// pixels and palette.
struct outcome {
    std::string refusal;
    std::uint32_t width = 0, height = 0;
    std::string decoding_refusal;
    std::vector<colour> palette;
    std::vector<std::uint8_t> pixels;
    bool operator==(const outcome&) const = default;
};

outcome outcome_of(prepared_scan scan) {
    outcome o{scan.refusal, scan.width, scan.height, {}, {}, {}};
    if (!scan.refusal.empty()) {
        return o;
    }
    auto reading = decoded_and_reduced(scan);
    o.decoding_refusal = reading.refusal;
    if (reading.scan) {
        o.palette = reading.scan->palette;
        o.pixels = reading.scan->pixels;
    }
    return o;
}

outcome in_turn(const std::string& path) { return outcome_of(open_in_turn(path)); }

// Scans that open, that are refused when opened, when decoded, and one of more than 127
// colours; one planned twice, for two charts.
const std::vector<std::string> planned = {
    scans + "/tiff_rgb_lzw.tif",  scans + "/colours_129.png",   scans + "/bad_truncated.png",
    scans + "/no_such_scan.tif",  scans + "/bad_huge.tif",      scans + "/gif_palette.gif",
    scans + "/tiff_rgb_lzw.tif",  scans + "/png_grey.png",      scans + "/jpeg_rgb.jpg",
    scans + "/not_a_scan.txt",    scans + "/tiff_palette.tif",  scans + "/colours_128.png",
};

TEST(ScansAhead, GivesEachChartWhatReadingItsScanInTurnGives) {
    // The run's first scan is read in turn and loads the decoder; reading ahead starts then.
    ASSERT_TRUE(in_turn(planned[0]).decoding_refusal.empty());
    scans_ahead ahead;
    ahead.plan(planned);
    for (std::size_t i = 0; i < planned.size(); ++i) {
        if (i == 1 || i == 8 || i == 9) {
            continue;  // charts not made: their scans are never taken
        }
        EXPECT_EQ(outcome_of(ahead.take(planned[i])), in_turn(planned[i])) << planned[i];
    }
}

TEST(ScansAhead, OpensInTurnAScanNotPlannedAndEveryScanAfterIt) {
    scans_ahead ahead;
    ahead.plan({scans + "/png_grey.png", scans + "/tiff_rgb_lzw.tif", scans + "/gif_palette.gif"});
    // The first chart was not made: its scan is given up.
    EXPECT_EQ(outcome_of(ahead.take(scans + "/tiff_rgb_lzw.tif")), in_turn(scans + "/tiff_rgb_lzw.tif"));
    // Not planned (the calibration changed under the run): read now, and the plan is left,
    // so that what was planned after is read now too, and so is a scan given up before.
    EXPECT_EQ(outcome_of(ahead.take(scans + "/colours_129.png")), in_turn(scans + "/colours_129.png"));
    EXPECT_EQ(outcome_of(ahead.take(scans + "/gif_palette.gif")), in_turn(scans + "/gif_palette.gif"));
    EXPECT_EQ(outcome_of(ahead.take(scans + "/png_grey.png")), in_turn(scans + "/png_grey.png"));
}

TEST(ScansAhead, LeavesNothingRunningWhenTheRunEndsEarly) {
    scans_ahead ahead;
    ahead.plan(std::vector<std::string>(40, scans + "/tiff_rgb_lzw.tif"));
    EXPECT_EQ(outcome_of(ahead.take(scans + "/tiff_rgb_lzw.tif")).width, 23U);
    // The destructor waits for the threads, which stop after the scan each is reading.
}

}  // namespace
}  // namespace hdrmill
