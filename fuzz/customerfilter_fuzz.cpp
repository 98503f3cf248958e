// The customer filter with fuzzed descriptor filters and customer facts.
//
// The input is text, one value a line, in this order (a missing line keeps
// the default):
//   descriptor Build, MinimumBuild, Test ("1" is true), Language, Name,
//   PostalCode, then installed build, language id, company name, postal code,
//   test installation ("1" is true).
// Numbers are decimal, clamped to 32 bits. Only ServiceError 9 (an empty piece
// in the postal-code list) may come out, and the answer must agree with a
// model of the rules written here from their description: test flag, build
// window, language, first letter of the company name, postal codes and ranges
// compared as text.

#include <algorithm>
#include <exception>
#include <limits>

#include "FuzzSupport.h"
#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "update/CustomerFilter.h"

namespace tvk::fuzz {
namespace {

constexpr int64_t kSubscriptOutOfRange = 9;

int32_t ClampedNumber(std::string_view text) {
    bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{1} << 40);
    }
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

bool NoRestriction(const std::string& filter) { return filter.empty() || filter == "All"; }

// The first character of a well-formed UTF-8 text.
std::string FirstCharacter(const std::string& text) {
    if (text.empty()) return {};
    const auto lead = static_cast<unsigned char>(text[0]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return text.substr(0, length);
}

enum class Outcome { Meant, NotMeant, EmptyPiece, Unknown };

Outcome Model(const UpdateInfo& info, const CustomerFacts& customer) {
    if (customer.testInstallation != info.Test) return Outcome::NotMeant;
    if (!(info.MinimumBuild <= customer.installedBuild && customer.installedBuild < info.Build))
        return Outcome::NotMeant;
    if (!NoRestriction(info.Language) &&
        info.Language.find(std::to_string(customer.languageId)) == std::string::npos)
        return Outcome::NotMeant;
    if (!NoRestriction(info.Name)) {
        // Company names come from the database as well-formed text; for
        // anything else "the first character" has no single meaning.
        if (!IsValidUtf8(customer.companyName)) return Outcome::Unknown;
        if (LowerCaseText(info.Name).find(LowerCaseText(FirstCharacter(customer.companyName))) ==
            std::string::npos)
            return Outcome::NotMeant;
    }
    if (NoRestriction(info.PostalCode)) return Outcome::Meant;
    bool matched = false;
    for (const std::string& piece : SplitAt(info.PostalCode, ',')) {
        if (piece.empty()) return Outcome::EmptyPiece;
        std::vector<std::string> bounds = SplitAt(piece, '-');
        const std::string& code = customer.postalCode;
        if (bounds.size() == 2 ? (code >= bounds[0] && code <= bounds[1]) : code == bounds[0])
            matched = true;
    }
    return matched ? Outcome::Meant : Outcome::NotMeant;
}

void Check(std::string_view input) {
    const std::vector<std::string> lines = SplitAt(input, '\n');
    auto line = [&](size_t i) -> const std::string* {
        return i < lines.size() ? &lines[i] : nullptr;
    };
    UpdateInfo info;
    CustomerFacts customer;
    if (auto* l = line(0)) info.Build = ClampedNumber(*l);
    if (auto* l = line(1)) info.MinimumBuild = ClampedNumber(*l);
    if (auto* l = line(2)) info.Test = *l == "1";
    if (auto* l = line(3)) info.Language = *l;
    if (auto* l = line(4)) info.Name = *l;
    if (auto* l = line(5)) info.PostalCode = *l;
    if (auto* l = line(6)) customer.installedBuild = ClampedNumber(*l);
    if (auto* l = line(7)) customer.languageId = ClampedNumber(*l);
    if (auto* l = line(8)) customer.companyName = *l;
    if (auto* l = line(9)) customer.postalCode = *l;
    if (auto* l = line(10)) customer.testInstallation = *l == "1";

    const Outcome expected = Model(info, customer);
    Outcome actual;
    try {
        actual = IsMeantFor(info, customer) ? Outcome::Meant : Outcome::NotMeant;
    } catch (const ServiceError& error) {
        FUZZ_CHECK(error.Number() == kSubscriptOutOfRange,
                   error.what() + (" for " + Escaped(input)));
        actual = Outcome::EmptyPiece;
    } catch (const std::exception& error) {
        Fail(__FILE__, __LINE__,
             "escaped: " + std::string(error.what()) + " for " + Escaped(input));
    }
    if (expected != Outcome::Unknown)
        FUZZ_CHECK(actual == expected, "outcome " + std::to_string(static_cast<int>(actual)) +
                                           ", model " + std::to_string(static_cast<int>(expected)) +
                                           " for " + Escaped(input));
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
