#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tvk {

// A failure of an outside component or of the service's own rules. It carries
// the number and the description that the error messages show as
// "<number> - <description>", whatever the source (SQLite, ODBC, errno, ...).
class ServiceError : public std::runtime_error {
  public:
    ServiceError(int64_t number, std::string description)
        : std::runtime_error(std::to_string(number) + " - " + description),
          number_(number),
          description_(std::move(description)) {}

    int64_t Number() const { return number_; }
    const std::string& Description() const { return description_; }

  private:
    int64_t number_;
    std::string description_;
};

// A failed call of the operating system: its errno, and "<what>: <the
// system's text for it>".
inline ServiceError ErrnoError(int err, const std::string& what) {
    return ServiceError(err, what + ": " + std::strerror(err));
}

// Numbers of the service's own failures, chosen to match what users of the
// application know from its other components.
namespace ErrorNumber {
inline constexpr int64_t TypeMismatch = 13;        // a value that cannot be converted
inline constexpr int64_t Overflow = 6;             // a number outside its range
inline constexpr int64_t InvalidArgument = 5;      // a call with an argument it cannot take
inline constexpr int64_t SubscriptOutOfRange = 9;  // an entry that is not there
inline constexpr int64_t ItemNotFound = 3265;      // a field name or position that does not exist
inline constexpr int64_t ObjectClosed = 3704;      // a closed recordset or connection was used
inline constexpr int64_t NoCurrentRecord = 3021;   // a field read at the end of the rows
// A release file whose signature does not hold: Windows' own number for a
// signature that does not verify (TRUST_E_BAD_DIGEST).
inline constexpr int64_t SignatureRefused = -2146869232;
// A signed release past its expiry: Windows' number for an expired
// certificate (CERT_E_EXPIRED).
inline constexpr int64_t ReleaseExpired = -2146762495;
}  // namespace ErrorNumber

}  // namespace tvk

#include <exception>
#include <system_error>

namespace tvk {

// "<number> - <description>" of any failure, for the messages that report one.
inline std::string DescribeFailure(const std::exception& failure) {
    if (auto* service = dynamic_cast<const ServiceError*>(&failure))
        return std::to_string(service->Number()) + " - " + service->Description();
    if (auto* system = dynamic_cast<const std::system_error*>(&failure))
        return std::to_string(system->code().value()) + " - " + system->what();
    if (dynamic_cast<const std::bad_alloc*>(&failure)) return "7 - Out of memory";
    return "-1 - " + std::string(failure.what());
}

}  // namespace tvk
