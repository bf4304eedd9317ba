#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "driver/chart_files.hpp"
#include "platform/file_identity.hpp"
#include "test_support.hpp"

namespace hdrmill {
namespace {

TEST(FileIdentity, KnowsOneFileByEveryNameThatReachesIt) {
    const testing::temp_dir folder;
    const auto scan = folder.write("Harbour.tif", "II*");
    std::filesystem::create_directory(folder.path("sub"));
    EXPECT_TRUE(same_file(identity_of(scan), identity_of(folder.path("sub/../Harbour.tif"))));
    EXPECT_TRUE(same_file(identity_of(scan), identity_of(folder.path("./Harbour.tif"))));
    EXPECT_FALSE(same_file(identity_of(scan), identity_of(folder.path("sub/Harbour.tif"))));
#ifndef _WIN32
    std::filesystem::create_symlink(scan, folder.path("link.tif"));
    std::filesystem::create_hard_link(scan, folder.path("hard.tif"));
    std::filesystem::create_directory_symlink(folder.path(""), folder.path("sub/up"));
    EXPECT_TRUE(same_file(identity_of(scan), identity_of(folder.path("link.tif"))));
    EXPECT_TRUE(same_file(identity_of(scan), identity_of(folder.path("hard.tif"))));
    EXPECT_TRUE(same_file(identity_of(scan), identity_of(folder.path("sub/up/Harbour.tif"))));
#endif
    // Names of files yet to be made: by their folder and last component.
    EXPECT_TRUE(same_file(identity_of(folder.path("new.kap")), identity_of(folder.path("sub/../new.kap"))));
    EXPECT_FALSE(same_file(identity_of(folder.path("new.kap")), identity_of(folder.path("other.kap"))));
    EXPECT_FALSE(same_file(identity_of(folder.path("none/x.kap")), identity_of(folder.path("none/x.kap"))));
}

TEST(ChartFiles, RefusesEveryInputAndEveryChartMadeBeforeWhateverItsSpelling) {
    const testing::temp_dir folder;
    std::filesystem::create_directory(folder.path("sub"));
    chart_files files;
    files.add_input(folder.write("CHARTCAL.DIR", "[A.tif]\n"), true);
    files.add_input(folder.write("A.tif", "II*"), false);
    files.add_input(folder.path("Later.tif"), false);  // not there yet
    EXPECT_EQ(files.why_not(folder.path("sub/../CHARTCAL.DIR")),
              "it would replace the calibration file " + folder.path("CHARTCAL.DIR"));
    EXPECT_EQ(files.why_not(folder.path("./A.tif")), "it would replace the scan " + folder.path("A.tif"));
    EXPECT_EQ(files.why_not(folder.path("sub/../Later.tif")), "it would replace the scan " + folder.path("Later.tif"));
    EXPECT_EQ(files.why_not(folder.path("A.kap")), "");
    folder.write("A.kap", "");
    files.add_made(folder.path("A.kap"));
    EXPECT_EQ(files.why_not(folder.path("sub/../A.kap")),
              "it would replace the chart " + folder.path("A.kap") + " this run has made");
}

TEST(ChartFiles, ReplacesOnlyAnEmptyFileOrOneThatBeginsAsAChartOrHeader) {
    const testing::temp_dir folder;
    struct row {
        std::string bytes;
        bool replaced;
    };
    const row rows[] = {
        {"", true},
        {"! Created by hdrmill 0.9 - Use at your own risk!\r\nVER/2.0\r\nBSB/NA=x\r\n", true},
        {"!comment\r\n!more\r\nCRR/x\r\nBSB/NA=x\r\n", true},
        {"BSB/NA=x\r\n", true},
        {"VER/3.0\r\n", true},
        {"NOS/NA=x\r\n", true},
        {"II*\0 a scan", false},
        {"CRR/x\r\nBSB/NA=x\r\n", false},  // neither a comment nor a record first
        {"[Harbour.tif]\nFN=Harbour.tif\n", false},
        {"! a comment and nothing of a chart\r\n", false},
        {"! " + std::string(1100, 'x') + "\r\nBSB/NA=x\r\n", false},  // past the bytes readers read first
    };
    for (const auto& r : rows) {
        EXPECT_EQ(holds_a_chart_or_nothing(folder.write("X.KAP", r.bytes)), r.replaced) << r.bytes.substr(0, 40);
    }
    EXPECT_TRUE(holds_a_chart_or_nothing(folder.path("absent.KAP")));
    chart_files files;
    folder.write("photo.jpg", "\xff\xd8\xff\xe0");
    EXPECT_EQ(files.why_not(folder.path("photo.jpg")), "a file that is not a chart stands under its name, and is kept");
}

}  // namespace
}  // namespace hdrmill
