#include "download/DownloadEstimate.h"

#include <gtest/gtest.h>

#include <limits>

namespace tvk {
namespace {

const EstimateWords kEnglish{"minute", "minutes", "seconds"};

// The report that gives `secondsLeft` at 1 kB/s: 1 kB after 1 second.
std::string TextForSecondsLeft(int64_t secondsLeft) {
    auto estimate = EstimateDownload(1024, 1024 + secondsLeft * 1024, 1.0, kEnglish);
    EXPECT_TRUE(estimate.has_value());
    return estimate ? estimate->text : "";
}

TEST(DownloadEstimate, WorkedExamples) {
    auto fast = EstimateDownload(512000, 2048000, 10.0, kEnglish);
    ASSERT_TRUE(fast);
    EXPECT_DOUBLE_EQ(fast->rate, 50.0);
    EXPECT_EQ(fast->remainingKb, 1500);
    EXPECT_EQ(fast->secondsLeft, 30);
    EXPECT_EQ(fast->text, "30 seconds 50 kB/s");

    auto slow = EstimateDownload(102400, 10342400, 8.0, kEnglish);
    ASSERT_TRUE(slow);
    EXPECT_DOUBLE_EQ(slow->rate, 12.5);
    EXPECT_EQ(slow->remainingKb, 10000);
    EXPECT_EQ(slow->secondsLeft, 800);
    EXPECT_EQ(slow->text, "13 minutes   12 kB/s");  // whole(12.5) is 12
}

TEST(DownloadEstimate, MinutesFromSixtySecondsOnRoundedHalfEven) {
    EXPECT_EQ(TextForSecondsLeft(59), "59 seconds 1 kB/s");
    EXPECT_EQ(TextForSecondsLeft(60), "1 minute   1 kB/s");
    EXPECT_EQ(TextForSecondsLeft(90), "2 minutes   1 kB/s");   // whole(1.5)
    EXPECT_EQ(TextForSecondsLeft(150), "2 minutes   1 kB/s");  // whole(2.5)
    EXPECT_EQ(TextForSecondsLeft(0), "0 seconds 1 kB/s");
}

TEST(DownloadEstimate, WordsComeFromTheCaller) {
    EstimateWords norwegian{"minutt", "minutter", "sekunder"};
    EXPECT_EQ(EstimateDownload(1024, 1024 + 60 * 1024, 1.0, norwegian)->text, "1 minutt   1 kB/s");
    EXPECT_EQ(EstimateDownload(1024, 1024 + 5 * 1024, 1.0, norwegian)->text, "5 sekunder 1 kB/s");
}

TEST(DownloadEstimate, ElapsedTimeIsWholeSecondsAndAtLeastOne) {
    EXPECT_EQ(ElapsedSeconds(0.0), 1);
    EXPECT_EQ(ElapsedSeconds(0.49), 1);
    EXPECT_EQ(ElapsedSeconds(1.5), 2);
    EXPECT_EQ(ElapsedSeconds(2.5), 2);
    EXPECT_EQ(ElapsedSeconds(-3.0), 1);
    EXPECT_EQ(ElapsedSeconds(std::numeric_limits<double>::quiet_NaN()), 1);

    // Less than half a second after loading: 100 kB count as 100 kB/s.
    auto early = EstimateDownload(102400, 204800, 0.4, kEnglish);
    ASSERT_TRUE(early);
    EXPECT_DOUBLE_EQ(early->rate, 100.0);
    EXPECT_EQ(early->text, "1 seconds 100 kB/s");
}

TEST(DownloadEstimate, FaultyReportsGiveNoEstimate) {
    EXPECT_FALSE(EstimateDownload(0, 0, 5.0, kEnglish));        // no total
    EXPECT_FALSE(EstimateDownload(0, 2048000, 5.0, kEnglish));  // no bytes yet: rate 0
    EXPECT_FALSE(EstimateDownload(4096, 2048, 5.0, kEnglish));  // more than the total
    EXPECT_FALSE(EstimateDownload(-1, 2048, 5.0, kEnglish));
    EXPECT_FALSE(
        EstimateDownload(1, std::numeric_limits<int64_t>::max(), 1e9, kEnglish));  // overflow
}

TEST(DownloadEstimate, FilesBeyondTwoGibibytes) {
    const int64_t total = 5LL * 1024 * 1024 * 1024;  // 5 GiB
    auto estimate = EstimateDownload(total / 2, total, 100.0, kEnglish);
    ASSERT_TRUE(estimate);
    EXPECT_EQ(estimate->remainingKb, total / 2 / 1024);
    EXPECT_EQ(estimate->secondsLeft, 100);
    EXPECT_EQ(estimate->text, "2 minutes   26214 kB/s");  // 100 s is whole(1.67) minutes

    int64_t unit = ProgressBarUnit(total);
    EXPECT_GT(unit, 1);
    EXPECT_LE(total / unit, std::numeric_limits<int>::max());
    EXPECT_EQ(ToProgressBarUnits(total, unit), static_cast<int>(total / unit));
    EXPECT_NEAR(ToProgressBarUnits(total / 2, unit), ToProgressBarUnits(total, unit) / 2, 1);
}

TEST(DownloadEstimate, SmallFilesAreShownInBytes) {
    EXPECT_EQ(ProgressBarUnit(2048000), 1);
    EXPECT_EQ(ProgressBarUnit(std::numeric_limits<int>::max()), 1);
    EXPECT_EQ(ProgressBarUnit(int64_t{std::numeric_limits<int>::max()} + 1), 2);
    EXPECT_EQ(ToProgressBarUnits(512000, 1), 512000);
    EXPECT_EQ(ToProgressBarUnits(-5, 1), 0);
}

}  // namespace
}  // namespace tvk
