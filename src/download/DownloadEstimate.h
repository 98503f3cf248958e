#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tvk {

// The three words of the time-left text, in the run's language.
struct EstimateWords {
    std::string minute;   // one minute
    std::string minutes;  // any other number of minutes
    std::string seconds;
};

// What one progress report of a download tells: the rate so far, what is
// left and the text of the time-left label, e.g. "13 minutes   12 kB/s" or
// "30 seconds 50 kB/s".
struct DownloadEstimate {
    double rate = 0;          // kB per second since the window loaded, with its fraction
    int64_t remainingKb = 0;  // whole kB still to come
    int64_t secondsLeft = 0;
    std::string text;
};

// The whole seconds that count as elapsed: rounded half to even, and never
// less than 1, so that an early report does not divide by zero.
int64_t ElapsedSeconds(double secondsSinceStart);

// The estimate of a report of `bytesSoFar` out of `totalBytes`. Nothing when
// the report cannot give one (no total, no bytes yet, more bytes than the
// total, numbers out of range): the window then keeps what it showed.
std::optional<DownloadEstimate> EstimateDownload(int64_t bytesSoFar, int64_t totalBytes,
                                                 double secondsSinceStart,
                                                 const EstimateWords& words);

// A progress bar counts in int; files of 2 GiB and more are shown in larger
// units. The unit for a total, and a byte count in that unit.
int64_t ProgressBarUnit(int64_t totalBytes);
int ToProgressBarUnits(int64_t bytes, int64_t unit);

}  // namespace tvk
