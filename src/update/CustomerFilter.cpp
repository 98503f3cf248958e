#include "update/CustomerFilter.h"

#include <array>
#include <vector>

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "common/TextSplit.h"
#include "components/signature/ReleaseSignature.h"

namespace tvk {

namespace {

bool IsNoRestriction(const std::string& filter) { return filter.empty() || filter == "All"; }

bool ContainsIgnoringCase(const std::string& text, const std::string& wanted) {
    return LowerCaseText(text).find(LowerCaseText(wanted)) != std::string::npos;
}

// The first character of a UTF-8 text; company names of our customers begin
// with letters such as Æ, Ø and Å, which take more than one byte.
std::string FirstCharacter(const std::string& text) {
    if (text.empty()) return {};
    size_t length = 1;
    while (length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        ++length;
    return text.substr(0, length);
}

// Codes are compared as texts by character code, not as numbers: with codes
// of one length that orders them as numbers, and it is what the descriptors
// in circulation were written for. (std::string compares bytes unsigned,
// which for UTF-8 is the order of the character codes.)
bool PieceMatches(const std::string& piece, const std::string& code) {
    if (piece.empty())
        throw ServiceError(ErrorNumber::SubscriptOutOfRange,
                           "Subscript out of range: the postal-code filter has an empty entry");
    std::vector<std::string> bounds = SplitAt(piece, '-');
    if (bounds.size() == 2) return code >= bounds[0] && code <= bounds[1];
    return code == bounds[0];
}

bool PostalCodeMatches(const std::string& filter, const std::string& code) {
    bool matched = false;
    // Every piece is looked at, so an empty one fails the whole list even
    // after a match.
    for (const std::string& piece : SplitAt(filter, ','))
        if (PieceMatches(piece, code)) matched = true;
    return matched;
}

}  // namespace

bool IsMeantFor(const UpdateInfo& info, const CustomerFacts& customer) {
    if (customer.testInstallation != info.Test) return false;
    if (info.MinimumBuild > customer.installedBuild) return false;
    if (customer.installedBuild >= info.Build) return false;

    if (!IsNoRestriction(info.Language) &&
        !ContainsIgnoringCase(info.Language, std::to_string(customer.languageId)))
        return false;
    if (!IsNoRestriction(info.Name) &&
        !ContainsIgnoringCase(info.Name, FirstCharacter(customer.companyName)))
        return false;
    if (!IsNoRestriction(info.PostalCode) &&
        !PostalCodeMatches(info.PostalCode, customer.postalCode))
        return false;
    return IsInRolloutShare(info.Rollout, info.Build, customer.serialNumber);
}

std::optional<int> RolloutDraw(const std::string& serialNumber, int32_t build) {
    const std::string serial(TrimAscii(serialNumber));
    if (serial.empty()) return std::nullopt;
    const std::array<unsigned char, 32> digest = Sha256Of(serial + "\n" + std::to_string(build));
    uint64_t number = 0;
    for (int i = 0; i < 8; ++i) number = number << 8 | digest[i];
    return static_cast<int>(number % 100);
}

bool IsInRolloutShare(int percent, int32_t build, const std::string& serialNumber) {
    if (percent >= 100) return true;
    const std::optional<int> draw = RolloutDraw(serialNumber, build);
    return draw && *draw < percent;
}

std::string RolloutNote(const UpdateInfo& info, const std::string& serialNumber) {
    const std::optional<int> draw = RolloutDraw(serialNumber, info.Build);
    return "rollout " + std::to_string(info.Rollout) + " %: this installation is " +
           (IsInRolloutShare(info.Rollout, info.Build, serialNumber) ? "in" : "not in") +
           " the share " + (draw ? "(draw " + std::to_string(*draw) + ")" : "(no serial number)");
}

bool IsUpdateForCustomer(const RunState& state) {
    return IsMeantFor(state.UpdateInfo, {.testInstallation = state.ServiceSettings.Test,
                                         .serialNumber = state.CustomerSettings.Serienummer,
                                         .installedBuild = state.InstalledBuild,
                                         .languageId = state.LanguageId,
                                         .companyName = state.CustomerSettings.RegFirma,
                                         .postalCode = state.CustomerSettings.Postnummer});
}

}  // namespace tvk
