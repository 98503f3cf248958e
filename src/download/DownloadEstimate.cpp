#include "download/DownloadEstimate.h"

#include <cmath>
#include <limits>

#include "common/NumberRules.h"

namespace tvk {

namespace {

// A rounded value as a whole number, when it fits.
std::optional<int64_t> Whole(double value) {
    double rounded = RoundHalfEven(value);
    // 2^63 is exactly representable; anything from there on does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(rounded) || rounded >= limit || rounded < -limit) return std::nullopt;
    return static_cast<int64_t>(rounded);
}

std::string TimeLeftText(int64_t secondsLeft, const EstimateWords& words) {
    if (secondsLeft >= 60) {
        int64_t minutes = *Whole(static_cast<double>(secondsLeft) / 60.0);
        return std::to_string(minutes) + " " + (minutes == 1 ? words.minute : words.minutes) +
               "   ";
    }
    return std::to_string(secondsLeft) + " " + words.seconds + " ";
}

}  // namespace

int64_t ElapsedSeconds(double secondsSinceStart) {
    std::optional<int64_t> elapsed = Whole(secondsSinceStart);
    // A clock that reads backwards or nonsense still gives a usable divisor.
    if (!elapsed || *elapsed < 1) return 1;
    return *elapsed;
}

std::optional<DownloadEstimate> EstimateDownload(int64_t bytesSoFar, int64_t totalBytes,
                                                 double secondsSinceStart,
                                                 const EstimateWords& words) {
    if (totalBytes <= 0 || bytesSoFar <= 0 || bytesSoFar > totalBytes) return std::nullopt;

    DownloadEstimate estimate;
    double elapsed = static_cast<double>(ElapsedSeconds(secondsSinceStart));
    estimate.rate = (static_cast<double>(bytesSoFar) / 1024.0) / elapsed;
    if (!(estimate.rate > 0)) return std::nullopt;

    std::optional<int64_t> remaining = Whole(static_cast<double>(totalBytes - bytesSoFar) / 1024.0);
    if (!remaining) return std::nullopt;
    estimate.remainingKb = *remaining;

    std::optional<int64_t> secondsLeft = Whole(static_cast<double>(*remaining) / estimate.rate);
    std::optional<int64_t> rate = Whole(estimate.rate);
    if (!secondsLeft || !rate) return std::nullopt;
    estimate.secondsLeft = *secondsLeft;

    estimate.text = TimeLeftText(*secondsLeft, words) + std::to_string(*rate) + " kB/s";
    return estimate;
}

int64_t ProgressBarUnit(int64_t totalBytes) {
    constexpr int64_t most = std::numeric_limits<int>::max();
    if (totalBytes <= most) return 1;
    return totalBytes / most + 1;
}

int ToProgressBarUnits(int64_t bytes, int64_t unit) {
    if (unit < 1) unit = 1;
    int64_t units = bytes / unit;
    if (units < 0) return 0;
    if (units > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(units);
}

}  // namespace tvk
