#include "components/transfer/CurlTransfer.h"

#include "CurlTransfer_test.h"

namespace tvk {
namespace {

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
    // Unless a signature is checked on it after: into memory, or with a check.
    EXPECT_EQ(transfer.FetchHTTP(server.Url("/update.ini"), 1024), kDescriptor);
    transfer.SetDownloadCheck({.verify = [](const std::filesystem::path&) {}});
    Fetch(server.Url("/update.ini"));
    EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor);
    // A length announced and not reached stays a cut, whatever checks follow.
    server.CloseHalfway("/update.ini", std::string(10000, 'x'));
    EXPECT_EQ(ErrorOf([&] { transfer.FetchHTTP(server.Url("/update.ini"), 1 << 20); }).Number(),
              18);

    // A server that drips never stalls, but a fetch into memory ends in time.
    LoopbackHttpServer::Response drip = LoopbackHttpServer::Generated(1 << 20);
    drip.pace = 400ms;
    server.Serve("/drip", drip);
    CurlTransfer bounded{TransferOptions{2s, 1s, "", 2s}};
    EXPECT_EQ(ErrorOf([&] { bounded.FetchHTTP(server.Url("/drip"), 2 << 20); }).Number(), 28);

    // Its owner can end a fetch that waits, from another thread, and no later one starts.
    server.Hang("/wait");
    CurlTransfer waiting;  // its own limits would end it with 28 after a minute
    std::thread stopper([&] { std::this_thread::sleep_for(300ms), waiting.StopFetching(); });
    EXPECT_EQ(ErrorOf([&] { waiting.FetchHTTP(server.Url("/wait"), 100); }).Number(), 42);
    stopper.join();
    EXPECT_EQ(ErrorOf([&] { waiting.FetchHTTP(server.Url("/drip"), 100); }).Number(), 42);
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

TEST_F(CurlTransferTest, MissingFolderFailsWithTheSystemsError) {
    server.ServeBody("/update.ini", kDescriptor);
    ServiceError error = ErrorOf([&] {
        transfer.GetFileHTTP(server.Url("/update.ini"), (folder / "missing").string(),
                             "update.ini");
    });
    EXPECT_EQ(error.Number(), test::kNoSuchFolder);
    EXPECT_NE(error.Description().find("missing"), std::string::npos) << error.what();
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
    test::SetEnvironment("http_proxy", server.Url(""));
    Fetch(kUnresolvable);
    EXPECT_EQ(ReadAll(folder / "update.ini"), kDescriptor);
    EXPECT_EQ(server.LastRequestHead("/update.ini").rfind("GET http://update.tvk.invalid/", 0), 0u);

    test::SetEnvironment("no_proxy", "update.tvk.invalid");
    EXPECT_EQ(FetchError(kUnresolvable).Number(), 6);
    EXPECT_EQ(server.Requests("/update.ini"), 1);
}

}  // namespace
}  // namespace tvk
