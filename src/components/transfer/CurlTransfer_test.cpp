#include "components/transfer/CurlTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "ChildProcess.h"
#include "LoopbackHttpServer.h"
#include "PythonServer.h"
#include "TestSupport.h"
#include "common/ServiceError.h"

namespace tvk {
namespace {

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
            ::unsetenv(name);
        }
    }
    ~ProxyEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name, value->c_str(), 1);
            else
                ::unsetenv(name);
        }
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

TEST_F(CurlTransferTest, StoresTheBodyWithOrWithoutTrailingSeparator) {
    server.ServeBody("/update.ini", kDescriptor);
    const std::string plain = folder.Path().string();
    for (const std::string& given : {plain, plain + "/", plain + "\\"}) {
        std::filesystem::remove(folder / "update.ini");
        transfer.GetFileHTTP(server.Url("/update.ini"), given, "update.ini");
        EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor) << given;
    }
    EXPECT_EQ(server.Requests("/update.ini"), 3);
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"update.ini"});
}

TEST_F(CurlTransferTest, ChangedBodyReplacesTheFileAndErrorPageWithOkStatusIsStored) {
    PutPreviousDescriptor();
    server.ServeBody("/update.ini", kDescriptor);
    Fetch(server.Url("/update.ini"));
    EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor);

    // A captive portal or a misconfigured host answers 200 with a page; at
    // this level that is a successful fetch, and the reader copes with it.
    const std::string page = "<html><body>Please log in</body></html>";
    server.ServeBody("/update.ini", page);
    Fetch(server.Url("/update.ini"));
    EXPECT_EQ(ReadAll(folder / "update.ini"), page);

    server.ServeBody("/update.ini", "");
    Fetch(server.Url("/update.ini"));
    EXPECT_EQ(ReadAll(folder / "update.ini"), "");
}

TEST_F(CurlTransferTest, HttpErrorCarriesStatusAndReasonAndKeepsThePreviousFile) {
    PutPreviousDescriptor();
    ServiceError missing = FetchError(server.Url("/update.ini"));
    EXPECT_EQ(missing.Number(), 404);
    EXPECT_EQ(missing.Description(), "Not Found");
    EXPECT_EQ(DescribeFailure(missing), "404 - Not Found");
    ExpectPreviousDescriptorUntouched();

    server.ServeStatus("/update.ini", 503, "Back Soon", "<html>maintenance</html>");
    ServiceError custom = FetchError(server.Url("/update.ini"));
    EXPECT_EQ(custom.Number(), 503);
    EXPECT_EQ(custom.Description(), "Back Soon");
    ExpectPreviousDescriptorUntouched();

    // No phrase on the status line (as with HTTP/2): the standard one.
    server.ServeStatus("/update.ini", 403, "");
    ServiceError bare = FetchError(server.Url("/update.ini"));
    EXPECT_EQ(bare.Number(), 403);
    EXPECT_EQ(bare.Description(), "Forbidden");
    ExpectPreviousDescriptorUntouched();
}

TEST_F(CurlTransferTest, ConnectionFailuresCarryTheCurlCodeAndDetail) {
    auto bound = std::make_unique<test::RefusingPort>();
    const std::string refusedUrl =
        "http://127.0.0.1:" + std::to_string(bound->Port()) + "/update.ini";

    PutPreviousDescriptor();
    ServiceError refused = FetchError(refusedUrl);
    bound.reset();
    EXPECT_EQ(refused.Number(), 7);
    EXPECT_NE(refused.Description().find("Couldn't connect to server: "), std::string::npos)
        << refused.Description();
    ExpectPreviousDescriptorUntouched();

    // A lookup would ask the machine's name server; in a network namespace of
    // the test's own it fails at once and nothing leaves the machine.
    std::optional<long> status =
        test::ChildProcess([&]() -> long {
            if (!test::EnterOwnNetworkNamespace()) return 200;
            try {
                Fetch(kUnresolvable);
            } catch (const ServiceError& unknownHost) {
                bool named =
                    unknownHost.Description().find("update.tvk.invalid") != std::string::npos;
                return named ? unknownHost.Number() : 201;
            }
            return 0;
        }).Wait();
    ASSERT_TRUE(status.has_value());
    if (*status == 200) GTEST_SKIP() << "needs network namespaces (root)";
    EXPECT_EQ(*status, 6) << "201: the description does not name the host";
    ExpectPreviousDescriptorUntouched();
}

TEST_F(CurlTransferTest, StalledAndInterruptedTransfersFailAndKeepThePreviousFile) {
    PutPreviousDescriptor();
    server.Hang("/update.ini");
    ServiceError stalled = FetchError(server.Url("/update.ini"));
    EXPECT_EQ(stalled.Number(), 28);
    EXPECT_EQ(server.Requests("/update.ini"), 1);
    ExpectPreviousDescriptorUntouched();

    server.CloseHalfway("/update.ini", std::string(10000, 'x'));
    ServiceError interrupted = FetchError(server.Url("/update.ini"));
    EXPECT_EQ(interrupted.Number(), 18);  // partial file
    // Without a length, the end cannot be told from a cut.
    LoopbackHttpServer::Response unframed{200, "OK", kDescriptor};
    unframed.withoutLength = true;
    server.Serve("/update.ini", unframed);
    EXPECT_EQ(FetchError(server.Url("/update.ini")).Number(), 18);
    ExpectPreviousDescriptorUntouched();

    // A server that drips never stalls, but a fetch into memory ends in time.
    LoopbackHttpServer::Response drip = LoopbackHttpServer::Generated(1 << 20);
    drip.pace = 400ms;
    server.Serve("/drip", drip);
    CurlTransfer bounded{TransferOptions{2s, 1s, "", 2s}};
    EXPECT_EQ(ErrorOf([&] { bounded.FetchHTTP(server.Url("/drip"), 2 << 20); }).Number(), 28);
}

TEST_F(CurlTransferTest, FollowsRedirectsWithinHttpOnly) {
    // The page that comes with a redirect must not end up in the file.
    server.Serve("/old/update.ini",
                 {301, "Moved Permanently", "<html>moved</html>", {{"Location", "/update.ini"}}});
    server.ServeBody("/update.ini", kDescriptor);
    Fetch(server.Url("/old/update.ini"));
    EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor);
    EXPECT_EQ(server.Requests("/old/update.ini"), 1);
    EXPECT_EQ(server.Requests("/update.ini"), 1);

    PutPreviousDescriptor();
    server.Redirect("/loop", "/loop");
    EXPECT_EQ(FetchError(server.Url("/loop")).Number(),
              47);  // too many redirects
    EXPECT_LE(server.Requests("/loop"), 6);

    WriteAll(folder / "secret", "not for the network");
    server.Redirect("/to-file", "file://" + (folder / "secret").string());
    EXPECT_EQ(FetchError(server.Url("/to-file")).Number(),
              1);  // unsupported protocol
    EXPECT_EQ(ReadAll(folder / "update.ini"), kPrevious);
}

TEST_F(CurlTransferTest, RefusesOtherProtocolsAndNamesOutsideTheFolder) {
    WriteAll(folder / "secret", "not for the network");
    ServiceError file = ErrorOf([&] {
        transfer.GetFileHTTP("file://" + (folder / "secret").string(), folder.Path().string(),
                             "copy");
    });
    EXPECT_EQ(file.Number(), 1);
    EXPECT_FALSE(std::filesystem::exists(folder / "copy"));

    server.ServeBody("/update.ini", kDescriptor);
    for (const std::string& name : {std::string("../update.ini"), std::string("sub/update.ini"),
                                    std::string("sub\\update.ini"), std::string(".."),
                                    std::string(""), std::string("a\0b", 3)}) {
        EXPECT_EQ(ErrorOf([&] {
                      transfer.GetFileHTTP(server.Url("/update.ini"), folder.Path().string(), name);
                  }).Number(),
                  ErrorNumber::InvalidArgument)
            << name;
    }
    EXPECT_EQ(server.Requests("/update.ini"), 0);
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"secret"});
}

TEST_F(CurlTransferTest, MissingFolderFailsWithErrno) {
    server.ServeBody("/update.ini", kDescriptor);
    ServiceError error = ErrorOf([&] {
        transfer.GetFileHTTP(server.Url("/update.ini"), (folder / "missing").string(),
                             "update.ini");
    });
    EXPECT_EQ(error.Number(), ENOENT);
    EXPECT_NE(error.Description().find("No such file or directory"), std::string::npos);
}

TEST_F(CurlTransferTest, AsynchronousModeWithoutEventsIsRefused) {
    server.ServeBody("/update.ini", kDescriptor);
    transfer.Asynchronous(true);
    EXPECT_EQ(FetchError(server.Url("/update.ini")).Number(), ErrorNumber::InvalidArgument);
    EXPECT_EQ(server.Requests("/update.ini"), 0);
    transfer.Asynchronous(false);
    Fetch(server.Url("/update.ini"));
    EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor);
}

TEST_F(CurlTransferTest, HonoursTheProxyEnvironment) {
    // The loopback server stands in for the proxy: the request for a host that
    // does not resolve reaches it in proxy form.
    server.ServeBody("/update.ini", kDescriptor);
    ::setenv("http_proxy", server.Url("").c_str(), 1);
    Fetch(kUnresolvable);
    EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor);
    EXPECT_EQ(server.LastRequestHead("/update.ini").rfind("GET http://update.tvk.invalid/", 0), 0u);

    ::setenv("no_proxy", "update.tvk.invalid", 1);
    EXPECT_EQ(FetchError(kUnresolvable).Number(), 6);
    EXPECT_EQ(server.Requests("/update.ini"), 1);
}

// An HTTPS server with a certificate made for this test and trusted by no one:
// python's own server, so that the TLS side is not ours.
class CurlTransferHttpsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/openssl") ||
            !std::filesystem::exists("/usr/bin/python3"))
            GTEST_SKIP() << "needs /usr/bin/openssl and /usr/bin/python3";
        auto made =
            test::RunProcess({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                              "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                              "-days", "1", "-keyout", Key(), "-out", Certificate()});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        WriteAll(served / "update.ini", "[Update]\r\nBuild=4300\r\n");
        server_ = std::make_unique<test::PythonServer>(
            "HTTPS server", keys.Path(), kServer,
            std::vector<std::string>{Certificate(), Key(), served.Path().string(),
                                     keys.Path().string()});
    }

    std::string Key() const { return (keys / "key.pem").string(); }
    std::string Certificate() const { return (keys / "cert.pem").string(); }
    std::string Url(const std::string& path = "/update.ini") const {
        return "https://127.0.0.1:" + std::to_string(server_->Port()) + path;
    }

    test::TempFolder keys, served, folder;
    ProxyEnvironment proxies;

  private:
    // "/to?<url>" redirects to <url>.
    static constexpr const char* kServer = R"(import functools, http.server, os, ssl, sys
cert, key, root, folder = sys.argv[1:5]
class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if not self.path.startswith("/to?"):
            return super().do_GET()
        self.send_response(302)
        self.send_header("Location", self.path[4:])
        self.send_header("Content-Length", "0")
        self.end_headers()
handler = functools.partial(Handler, directory=root)
server = http.server.HTTPServer(("127.0.0.1", 0), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
with open(os.path.join(folder, "port.part"), "w") as f:
    f.write(str(server.server_address[1]))
os.replace(os.path.join(folder, "port.part"), os.path.join(folder, "port"))
server.serve_forever()
)";
    std::unique_ptr<test::PythonServer> server_;
};

TEST_F(CurlTransferHttpsTest, RefusesACertificateNoAuthorityVouchesFor) {
    CurlTransfer transfer{TransferOptions{5s, 5s, ""}};
    WriteAll(folder / "update.ini", "old");
    ServiceError error =
        ErrorOf([&] { transfer.GetFileHTTP(Url(), folder.Path().string(), "update.ini"); });
    EXPECT_EQ(error.Number(), 60);  // peer certificate cannot be authenticated
    EXPECT_EQ(ReadAll(folder / "update.ini"), "old");
}

TEST_F(CurlTransferHttpsTest, FetchesWhenTheCertificateIsTrusted) {
    CurlTransfer transfer{TransferOptions{5s, 5s, Certificate()}};
    transfer.GetFileHTTP(Url(), folder.Path().string(), "update.ini");
    EXPECT_EQ(ReadAll(folder / "update.ini"), "[Update]\r\nBuild=4300\r\n");
    EXPECT_EQ(transfer.FetchHTTP(Url("/to?" + Url()), 100), "[Update]\r\nBuild=4300\r\n");
}

// Whatever began under TLS is not handed to plain HTTP by a redirect.
TEST_F(CurlTransferHttpsTest, ARedirectToPlainHttpIsRefused) {
    test::LoopbackHttpServer plain;
    plain.ServeBody("/update.ini", "[Update]\r\nBuild=9999\r\n");
    CurlTransfer transfer{TransferOptions{5s, 5s, Certificate()}};
    const std::string downgrade = Url("/to?" + plain.Url("/update.ini"));
    EXPECT_EQ(ErrorOf([&] { transfer.FetchHTTP(downgrade, 100); }).Number(), 1);
    EXPECT_EQ(ErrorOf([&] {
                  transfer.GetFileHTTP(downgrade, folder.Path().string(), "update.ini");
              }).Number(),
              1);
    EXPECT_EQ(plain.Requests("/update.ini"), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "update.ini"));
}

}  // namespace
}  // namespace tvk
