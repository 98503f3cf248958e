// The entry point of the mail module.
#include "components/MailComponents.h"

extern "C" __attribute__((visibility("default"))) tvk::MailComponents tvkMailCreateComponents() {
    return {tvk::CreateMhtBuilder(), tvk::CreateMailSender(), tvk::CreateMailMessage()};
}
