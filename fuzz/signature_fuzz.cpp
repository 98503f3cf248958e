// A release signature as the update host serves it (the text of a .minisig
// file), against the content it claims to sign: both are outside input.
//
// The input is the signature text, a NUL byte, then the content. Only
// ServiceError with the refusal number may come out, for every input: no
// crash, no other exception, and never an acceptance, since no input can
// hold a signature by the key of no one that the target trusts.
#include <exception>
#include <string>

#include "FuzzSupport.h"
#include "common/ServiceError.h"
#include "components/signature/ReleaseSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string text = input.substr(0, split);
    const std::string content = split == std::string::npos ? "" : input.substr(split + 1);
    try {
        tvk::ReleaseSignature(text, "update.ini").Verify(content, tvk::TrustedReleaseKeys());
        tvk::fuzz::Fail(__FILE__, __LINE__, "accepted " + tvk::fuzz::Escaped(input));
    } catch (const tvk::ServiceError& refusal) {
        FUZZ_CHECK(refusal.Number() == tvk::ErrorNumber::SignatureRefused, refusal.what());
    } catch (const std::exception& error) {
        tvk::fuzz::Fail(__FILE__, __LINE__, "escaped: " + std::string(error.what()));
    }
    return 0;
}
