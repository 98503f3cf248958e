#include "common/DateTime.h"

#include <gtest/gtest.h>

#include "common/ServiceError.h"

namespace tvk {
namespace {

TEST(DateTime, ReadsTheFormsServersReport) {
    EXPECT_EQ(DateTime::Parse("2026-12-08 21:59:25").ToString(), "2026-12-08 21:59:25");
    EXPECT_EQ(DateTime::Parse("2024-02-29T23:59:59.997").ToString(), "2024-02-29 23:59:59");
    EXPECT_EQ(DateTime::Parse("2026-01-31").ToString(), "2026-01-31 00:00:00");
}

TEST(DateTime, AddsSecondsAcrossMinutesDaysAndYears) {
    EXPECT_EQ(DateTime::Parse("2024-02-28 23:59:30").AddSeconds(45).ToString(),
              "2024-02-29 00:00:15");
    EXPECT_EQ(DateTime::Parse("2026-12-31 23:59:59").AddSeconds(1).ToString(),
              "2027-01-01 00:00:00");
}

TEST(DateTime, RefusesWhatIsNotADate) {
    for (const char* text :
         {"", "not a date", "2026-13-01", "2023-02-29", "2026-12-08 24:00:00", "2026-12-08 21:59",
          "2026-12-08 21:59:25x", "2026-1-8", "0000-01-01"}) {
        try {
            DateTime::Parse(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const ServiceError& e) {
            EXPECT_EQ(e.Number(), ErrorNumber::TypeMismatch) << text;
        }
    }
}

}  // namespace
}  // namespace tvk
