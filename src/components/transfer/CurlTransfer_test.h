#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "LoopbackHttpServer.h"
#include "TestSupport.h"
#include "common/ServiceError.h"
#include "components/transfer/CurlTransfer.h"

// Shared by the tests of either system and those of one system only.
namespace tvk {

using namespace std::chrono_literals;
using test::ErrorOf;
using test::LoopbackHttpServer;
using test::ReadAll;
using test::WriteAll;

// The proxy variables of the machine running the tests must not route the
// loopback traffic elsewhere; tests that want a proxy set one themselves.
class ProxyEnvironment {
  public:
    ProxyEnvironment() {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            test::SetEnvironment(name, std::nullopt);
        }
    }
    ~ProxyEnvironment() {
        for (const auto& [name, value] : saved_) test::SetEnvironment(name, value);
    }

  private:
    static constexpr const char* kNames[] = {"http_proxy", "https_proxy", "HTTPS_PROXY",
                                             "all_proxy",  "ALL_PROXY",   "no_proxy",
                                             "NO_PROXY"};
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

class CurlTransferTest : public ::testing::Test {
  protected:
    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void Fetch(const std::string& url) {
        transfer.GetFileHTTP(url, folder.Path().string(), "update.ini");
    }
    ServiceError FetchError(const std::string& url) {
        return ErrorOf([&] { Fetch(url); });
    }
    // The previous run's descriptor, which a failed fetch must leave alone.
    void PutPreviousDescriptor() { WriteAll(folder / "update.ini", kPrevious); }
    void ExpectPreviousDescriptorUntouched() {
        EXPECT_EQ(ReadAll(folder / "update.ini"), kPrevious);
        EXPECT_EQ(FolderNames(), std::vector<std::string>{"update.ini"});
    }

    // The reserved top-level domain never resolves, with or without a network.
    static constexpr const char* kUnresolvable = "http://update.tvk.invalid/update.ini";
    static constexpr const char* kPrevious = "[Update]\r\nBuild=4100\r\n";
    static constexpr const char* kDescriptor = "[Update]\r\nBuild=4200\r\nSetup=VelkorSetup\r\n";
    ProxyEnvironment proxies;
    LoopbackHttpServer server;
    test::TempFolder folder;
    CurlTransfer transfer{TransferOptions{2s, 1s, ""}};
};

}  // namespace tvk
