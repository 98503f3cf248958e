#include "update/CustomerFilter.h"

#include <gtest/gtest.h>

#include "common/ServiceError.h"

namespace tvk {
namespace {

// A release of build 600 for installed build 500, no restriction.
UpdateInfo Release() {
    UpdateInfo info;
    info.Build = 600;
    info.MinimumBuild = 400;
    return info;
}

CustomerFacts Customer() {
    return {.installedBuild = 500,
            .languageId = 1044,
            .companyName = "Bakeriet AS",
            .postalCode = "0175"};
}

bool PostalCodePasses(const std::string& filter, const std::string& code) {
    UpdateInfo info = Release();
    info.PostalCode = filter;
    CustomerFacts customer = Customer();
    customer.postalCode = code;
    return IsMeantFor(info, customer);
}

TEST(CustomerFilter, TestFlagsMustAgree) {
    UpdateInfo info = Release();
    CustomerFacts customer = Customer();
    customer.testInstallation = true;
    EXPECT_FALSE(IsMeantFor(info, customer));
    info.Test = true;
    EXPECT_TRUE(IsMeantFor(info, customer));
    customer.testInstallation = false;
    EXPECT_FALSE(IsMeantFor(info, customer));
}

TEST(CustomerFilter, BuildWindowIncludesTheMinimumAndExcludesTheRelease) {
    UpdateInfo info = Release();
    CustomerFacts customer = Customer();
    customer.installedBuild = 400;
    EXPECT_TRUE(IsMeantFor(info, customer));
    customer.installedBuild = 399;
    EXPECT_FALSE(IsMeantFor(info, customer));
    customer.installedBuild = 600;
    EXPECT_FALSE(IsMeantFor(info, customer));
    customer.installedBuild = -5;  // signed comparison
    info.MinimumBuild = -10;
    EXPECT_TRUE(IsMeantFor(info, customer));
}

TEST(CustomerFilter, LanguageFilterIsAPlainSearch) {
    UpdateInfo info = Release();
    CustomerFacts customer = Customer();
    info.Language = "1044,1030";
    EXPECT_TRUE(IsMeantFor(info, customer));
    customer.languageId = 1030;
    EXPECT_TRUE(IsMeantFor(info, customer));
    customer.languageId = 2057;
    EXPECT_FALSE(IsMeantFor(info, customer));
    info.Language = "10441";
    customer.languageId = 1044;
    EXPECT_TRUE(IsMeantFor(info, customer));
    // "All" is exact: in small letters it is a filter that names no language.
    info.Language = "all";
    EXPECT_FALSE(IsMeantFor(info, customer));
    info.Language = "All";
    EXPECT_TRUE(IsMeantFor(info, customer));
}

TEST(CustomerFilter, NameFilterMatchesTheInitialWithoutRegardToCase) {
    UpdateInfo info = Release();
    info.Name = "ABCDEFGHIJKLM";
    CustomerFacts customer = Customer();
    customer.companyName = "bakeriet AS";
    EXPECT_TRUE(IsMeantFor(info, customer));
    customer.companyName = "Nordlys AS";
    EXPECT_FALSE(IsMeantFor(info, customer));
    customer.companyName = "";
    EXPECT_TRUE(IsMeantFor(info, customer));

    info.Name = "ÆØÅ";
    customer.companyName = "østlandske Rør AS";
    EXPECT_TRUE(IsMeantFor(info, customer));
    info.Name = "äöü";
    customer.companyName = "Übersee GmbH";
    EXPECT_TRUE(IsMeantFor(info, customer));
    customer.companyName = "Åpen Bok";
    EXPECT_FALSE(IsMeantFor(info, customer));  // Å shares its first byte with Ä
}

TEST(CustomerFilter, PostalCodesAndRangesCompareAsText) {
    for (const char* code : {"0150", "0175", "0199", "5000"})
        EXPECT_TRUE(PostalCodePasses("0150-0199,5000", code)) << code;
    for (const char* code : {"0200", "4999", "0149", ""})
        EXPECT_FALSE(PostalCodePasses("0150-0199,5000", code)) << code;

    // Blanks belong to the codes: the upper bound " 0199" sorts before digits.
    EXPECT_FALSE(PostalCodePasses("0150 - 0199", "0160"));
    EXPECT_FALSE(PostalCodePasses("0150-", "0160"));
    EXPECT_TRUE(PostalCodePasses("-0199", "0160"));
    EXPECT_TRUE(PostalCodePasses("-0199", ""));
    EXPECT_TRUE(PostalCodePasses("0150-0160-0170", "0150"));
    EXPECT_FALSE(PostalCodePasses("0150-0160-0170", "0155"));
    EXPECT_FALSE(PostalCodePasses("999-1000", "0999"));
    EXPECT_FALSE(PostalCodePasses("999-1000", "1000"));
    EXPECT_TRUE(PostalCodePasses("ALL", "ALL"));  // a one-code list, not "All"
}

TEST(CustomerFilter, AnEmptyPostalCodePieceFailsTheWholeList) {
    for (const char* filter : {"0150,,5000", "0175,", ",0175", ","}) {
        try {
            PostalCodePasses(filter, "0175");
            ADD_FAILURE() << "accepted " << filter;
        } catch (const ServiceError& e) {
            EXPECT_EQ(e.Number(), ErrorNumber::SubscriptOutOfRange) << filter;
        }
    }
    // Filters that come first decide before the postal codes are looked at.
    UpdateInfo info = Release();
    info.PostalCode = ",";
    info.Name = "X";
    EXPECT_FALSE(IsMeantFor(info, Customer()));
}

TEST(CustomerFilter, ARolloutLetsInItsShareAndKeepsItAsItWidens) {
    int in[101] = {};  // how many each percentage lets in
    for (int serial = 0; serial < 10000; ++serial)
        for (int percent = 0, narrower = 0; percent <= 100; percent += 5) {
            const int meant = IsInRolloutShare(percent, 600, "VK" + std::to_string(serial));
            EXPECT_GE(meant, narrower) << serial << " at " << percent;
            in[percent] += narrower = meant;
        }
    for (int percent = 0; percent <= 100; percent += 5)
        EXPECT_NEAR(in[percent], percent * 100, percent % 100 ? 150 : 0) << percent;
    EXPECT_TRUE(IsInRolloutShare(100, 600, " \t") && !IsInRolloutShare(99, 600, " \t"));
}

}  // namespace
}  // namespace tvk
