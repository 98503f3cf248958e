#pragma once

#include <memory>

#include "components/MailMessage.h"
#include "components/MailSender.h"
#include "components/MhtBuilder.h"

namespace tvk {

// The three components one e-mail needs; they live for one call.
struct MailComponents {
    std::unique_ptr<MhtBuilder> builder;
    std::unique_ptr<MailSender> sender;
    std::unique_ptr<MailMessage> message;  // new and empty
};

// The mail module (VMime, SMTP) and its one entry point, which makes the
// components. Runs that mail nothing never load it.
inline constexpr const char* kMailModule = "tvkMail";
inline constexpr const char* kMailEntry = "tvkMailCreateComponents";
using MailModuleEntry = MailComponents();

}  // namespace tvk
