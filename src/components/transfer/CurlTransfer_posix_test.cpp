// Linux only: a forked child in a network namespace of its own; openssl and a Python HTTPS server.
#include "ChildProcess.h"
#include "CurlTransfer_test.h"
#include "PythonServer.h"

namespace tvk {
namespace {

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
