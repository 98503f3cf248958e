#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "common/ServiceError.h"
#include "components/MailSender.h"

// Shared by the tests of either system and those of one system only.
namespace tvk {

using test::ErrorOf;

inline std::unique_ptr<MailMessage> Notice(const std::vector<std::string>& to = {
                                               "kunde@firma.no"}) {
    auto message = CreateMailMessage();
    message->SetSubject("Ny versjon av Velkor er nå tilgjengelig (7.9.512)");
    message->SetSender("service@velkor.no");
    for (const std::string& address : to) message->AddRecipient("", address);
    message->SetBodyText("Med vennlig hilsen,");
    return message;
}

}  // namespace tvk
