#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "SmtpParsedMail.h"
#include "TestSupport.h"
#include "common/ServiceError.h"
#include "components/MhtBuilder.h"

// Shared by the tests of either system and those of one system only.
namespace tvk {

using test::ParseMail;
using test::TempFolder;
using test::WriteAll;

inline const std::string kPng("\x89PNG\r\n\x1a\n\0\0logo", 14);

}  // namespace tvk
