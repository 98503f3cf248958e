// Linux only: mount namespaces, tmpfs, immutable files, network namespaces, fork, aiosmtpd.
// Faults a user meets, and what each one leaves behind. Most run the built
// binary in its own program folder without a display, as a user runs it;
// where a black box cannot reach the fault (a stall that would take a
// minute, a disk that fills during a download, a mail server that refuses the
// message) the component that meets it is tested instead.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "DatabaseFixtures.h"
#include "FaultSmtpServer.h"
#include "LoopbackHttpServer.h"
#include "QueueDispatcher.h"
#include "SmtpTestServer.h"
#include "TestSupport.h"
#include "common/ServiceError.h"
#include "components/MailSender.h"
#include "components/transfer/CurlTransfer.h"
#include "components/transfer/KernelNetUtils.h"
#include "notify/mSendEpost.h"
#include "update/TempFiles.h"

namespace tvk::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kPreviousDescriptor =
    "[Update]\r\nBuild=505\r\nMinimumBuild=400\r\nSetup=VelkorSetup\r\nProduct=7.9\r\n";
constexpr const char* kNewDescriptor =
    "[Update]\r\nBuild=512\r\nMinimumBuild=400\r\nSetup=VelkorSetup\r\nProduct=7.9\r\n"
    "[Filter]\r\nTest=0\r\nLanguage=All\r\nName=All\r\nPostalCode=All\r\n";
constexpr const char* kNewHeading =
    "[Velkor UpdateService] New version of Velkor is released (7.9.512)\n";

// The objects the service reads, as the application's database holds them;
// the settings row is the caller's.
std::string Schema(const std::string& settingsRow) {
    return R"sql(
CREATE TABLE Innstillinger (Serienummer TEXT, RegFirma TEXT, Postnummer TEXT,
    UpdateServiceSendMail INTEGER, UpdateServiceSendTo TEXT, UpdateServiceMailSent INTEGER,
    MailServer TEXT, MailBrukerid TEXT, MailPassord TEXT, MailDomene TEXT, MailAvsender TEXT);
INSERT INTO Innstillinger VALUES )sql" +
           settingsRow + R"sql(;
CREATE TABLE Version (DatabaseVersion TEXT, SQLServerVersion TEXT);
INSERT INTO Version VALUES ('5.0', '16.0.1000.6');
CREATE VIEW SQLServerDate AS SELECT datetime('now', 'localtime') AS SQLServerDate;
CREATE TABLE xp_msver ("Index" INTEGER PRIMARY KEY, Name TEXT, Internal_Value INTEGER,
    Character_Value TEXT);
INSERT INTO xp_msver VALUES (2, 'ProductVersion', 1048576, '16.0.1000.6');
)sql";
}

constexpr const char* kPlainRow =
    "('1', 'Fjord Regnskap AS', '0150', 0, '', 0, '', '', '', '', '')";

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One whole number read with the sqlite3 C API, independent of the service.
int64_t QueryNumber(const fs::path& database, const std::string& sql) {
    sqlite3* db = nullptr;
    int64_t value = -1;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            value = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return value;
}

bool CanCreateMountNamespace() {
    static const bool can = RunProcess({"unshare", "-m", "true"}).exitCode == 0;
    return can;
}

class Faults : public ::testing::Test {
  protected:
    void SetUp() override {
        // The loopback server lives in this process's network namespace, so
        // the binary runs there too; it must count as online.
        if (!KernelNetUtils().Connected())
            GTEST_SKIP() << "this machine has no network interface besides loopback";
        UseHost(server.Url("/files"));
        WriteAll(folder / "version.ini", "[Version]\r\nMajor=7\r\nMinor=9\r\nBuild=500\r\n");
        MakeDatabase(Database(), Schema(kPlainRow));
    }

    void UseHost(const std::string& host) {
        WriteAll(Ini(), "[UpdateService]\r\nHost=" + host + "\r\nInfo=" + server.Url("/info") +
                            "\r\nLogHost=ftp://127.0.0.1:1\r\nLogPath=/log\r\n");
    }

    // The binary without a display (and without the machine's proxies), with
    // an optional command prefix (a mount namespace, another user).
    ProcessResult Run(std::vector<std::string> args, std::vector<std::string> prefix = {}) {
        std::vector<std::string> argv = {
            "env", "-u",         "DISPLAY", "-u",       "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
            "-u",  "http_proxy", "-u",      "all_proxy"};
        argv.insert(argv.end(), prefix.begin(), prefix.end());
        argv.push_back(folder.Executable().string());
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProcess(argv);
    }

    fs::path Ini() const { return folder / "Velkor5.ini"; }
    fs::path Descriptor() const { return folder / "update.ini"; }
    fs::path Database() const { return folder / "Velkor.db"; }

    LoopbackHttpServer server;
    ProgramFolder folder;
};

// ---- The update host ---------------------------------------------------------

TEST_F(Faults, DescriptorFetchFailuresNameTheCauseAndKeepThePreviousCopy) {
    struct Case {
        const char* fault;
        std::function<void()> arrange;
        std::string message;  // what the box says after "Error getting update info: "
    };
    const std::string downHost =
        "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/files";
    LoopbackHttpServer::Response shortBody;
    shortBody.body = kNewDescriptor;
    shortBody.announceExtra = 500;  // the connection ends before the announced length
    const Case cases[] = {
        {"host down", [&] { UseHost(downHost); }, "7 - Couldn't connect to server"},
        {"404", [&] { server.ServeStatus("/files/update.ini", 404, "Not Found", "gone"); },
         "404 - Not Found"},
        {"500",
         [&] { server.ServeStatus("/files/update.ini", 500, "Internal Server Error", "oops"); },
         "500 - Internal Server Error"},
        {"reason with markup and a terminal escape",  // shown as written, the escape as a blank
         [&] { server.ServeStatus("/files/update.ini", 404, "<b>Not</b> \x1b[2JFound", "x"); },
         "404 - <b>Not</b>  [2JFound"},
        {"truncated body", [&] { server.CloseHalfway("/files/update.ini", kNewDescriptor); },
         "18 - "},
        {"shorter than announced", [&] { server.Serve("/files/update.ini", shortBody); }, "18 - "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        UseHost(server.Url("/files"));
        c.arrange();
        WriteAll(Descriptor(), kPreviousDescriptor);
        const std::string ini = ReadAll(Ini());
        const std::vector<std::string> before = Names(folder.Path());

        for (const char* runMode : {"1", "8"}) {  // background and interactive alike
            ProcessResult run = Run({runMode, "x", "2057", "true"});
            EXPECT_EQ(run.exitCode, 4) << run.err;
            EXPECT_EQ(run.err.rfind("[Error] Error getting update info: " + c.message, 0), 0u)
                << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        EXPECT_EQ(ReadAll(Descriptor()), kPreviousDescriptor);
        EXPECT_EQ(ReadAll(Ini()), ini);
        EXPECT_EQ(Names(folder.Path()), before);  // no temporary file left behind
    }
}

// A stalled descriptor fetch ends after 60 s without data; here the same
// component with a one-second stall time, so that the test need not wait a
// minute. The server sends part of the body and then nothing.
TEST(FaultsAtComponentLevel, AStalledDescriptorFetchEndsAndKeepsThePreviousCopy) {
    LoopbackHttpServer server;
    LoopbackHttpServer::Response stalling;
    stalling.body = std::string(20000, 'x');
    stalling.stallAfter = 4000;
    server.Serve("/update.ini", stalling);
    TempFolder folder;
    WriteAll(folder / "update.ini", kPreviousDescriptor);

    CurlTransfer transfer(TransferOptions{2s, 1s, ""});
    const ServiceError stalled = ErrorOf([&] {
        transfer.GetFileHTTP(server.Url("/update.ini"), folder.Path().string(), "update.ini");
    });
    EXPECT_EQ(stalled.Number(), 28);  // CURLE_OPERATION_TIMEDOUT
    EXPECT_NE(stalled.Description().find("Operation too slow"), std::string::npos)
        << stalled.Description();
    EXPECT_EQ(ReadAll(folder / "update.ini"), kPreviousDescriptor);
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"update.ini"});
}

// ---- The database ------------------------------------------------------------

TEST_F(Faults, DatabaseFaultsEndWithTheMailSettingsMessageAndLeaveTheFile) {
    struct Case {
        const char* fault;
        std::string content;  // SQL, or raw bytes when `raw`
        bool raw;
        std::string message;  // after "Error getting mail settings:"
    };
    const Case cases[] = {
        {"not a database", std::string(4096, 'V'), true, "26 - file is not a database"},
        {"no settings table", "CREATE TABLE Andre (x);", false, "1 - no such table: Innstillinger"},
        {"no product version", Schema(kPlainRow) + "UPDATE xp_msver SET Character_Value=NULL;",
         false, "94 - Invalid use of Null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        fs::remove(Database());
        if (c.raw)
            WriteAll(Database(), c.content);
        else
            MakeDatabase(Database(), c.content);
        const std::string bytes = ReadAll(Database());
        ProcessResult run = Run({"1", "x", "2057", "true"});
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(run.err, "[tvkUpdateService] Error getting mail settings:" + c.message + "\n");
        EXPECT_EQ(ReadAll(Database()), bytes);  // never "repaired" by a new schema
        EXPECT_EQ(server.Requests("/files/update.ini"), 0);
    }
}

TEST_F(Faults, NullSettingsReadAsEmptyAndTheRunGoesOn) {
    fs::remove(Database());
    MakeDatabase(Database(),
                 Schema("(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)"));
    server.ServeSigned("/files/update.ini", kNewDescriptor);
    ProcessResult run = Run({"1", "x", "2057", "false", "/debug"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("customer \"\", postal code \"\""), std::string::npos) << run.err;
    // A null "send mail" is no: the notice is shown, not mailed.
    EXPECT_NE(run.err.find(kNewHeading), std::string::npos) << run.err;
    EXPECT_EQ(QueryNumber(Database(), "SELECT UpdateServiceMailSent IS NULL FROM Innstillinger"),
              1);
}

// Another program holds an exclusive lock. The service waits up to 5 s for it.
TEST_F(Faults, ALockedDatabaseIsWaitedForThenNamed) {
    server.ServeSigned("/files/update.ini", "[Update]\r\nBuild=500\r\n");  // nothing new
    const std::string bytes = ReadAll(Database());
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(Database().c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    ProcessResult locked = Run({"8", "x", "2057", "true"});
    EXPECT_EQ(locked.exitCode, 3);
    EXPECT_EQ(locked.err,
              "[tvkUpdateService] Error getting mail settings:5 - database is locked\n");
    EXPECT_EQ(server.Requests("/files/update.ini"), 0);

    // A lock let go within the wait costs nothing but the wait.
    std::thread release([&] {
        std::this_thread::sleep_for(1s);
        sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    });
    ProcessResult waited = Run({"1", "x", "2057", "true"});
    release.join();
    sqlite3_close(holder);
    EXPECT_EQ(waited.exitCode, 0) << waited.err;
    EXPECT_EQ(waited.err, "");
    EXPECT_EQ(server.Requests("/files/update.ini"), 1);
    EXPECT_EQ(ReadAll(Database()), bytes);
}

// ---- The program folder ------------------------------------------------------

// As root, permission bits do not stop a write; a read-only bind mount of the
// folder in a mount namespace of the run's own does, as for any user. The
// program folder keeps every file as it was: the defaults are used without
// being written, and the descriptor's copy goes to the machine's data folder.
// The first run is in a network namespace where the default host resolves
// nowhere.
TEST_F(Faults, AReadOnlyProgramFolderKeepsItsFilesAndTheRunWritesToTheDataFolder) {
    if (!CanCreateMountNamespace() || !CanCreateNetworkNamespace())
        GTEST_SKIP() << "needs mount and network namespaces (root)";
    const std::string dir = folder.Path().string();
    TempFolder state;
    const std::vector<std::string> readOnly = {
        "env",
        "XDG_STATE_HOME=" + state.Path().string(),
        "unshare",
        "-m",
        "sh",
        "-c",
        "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" && exec \"$@\"",
        dir};
    server.ServeSigned("/files/update.ini", kNewDescriptor);

    fs::remove(Ini());
    std::vector<std::string> before = Names(folder.Path());
    ProcessResult first = Run({"1", "x", "2057", "true"}, Online(readOnly));
    EXPECT_EQ(first.exitCode, 4);
    EXPECT_EQ(first.err.rfind("[Error] Error getting update info: 6 - ", 0), 0u) << first.err;
    EXPECT_NE(first.err.find("update.tavrin.no"), std::string::npos) << first.err;
    EXPECT_EQ(Names(folder.Path()), before);

    // A set-up installation announces once; the copy is in the data folder.
    UseHost(server.Url("/files"));
    WriteAll(Descriptor(), kPreviousDescriptor);
    before = Names(folder.Path());
    const fs::path copy = state / "Velkor" / "UpdateService" / "update.ini";
    ProcessResult later = Run({"1", "x", "2057", "true"}, readOnly);
    EXPECT_EQ(later.exitCode, 0) << later.err;
    EXPECT_NE(later.err.find("New version of Velkor is released"), std::string::npos) << later.err;
    EXPECT_EQ(ReadAll(copy), kNewDescriptor);
    EXPECT_EQ(ReadAll(Descriptor()), kPreviousDescriptor);
    EXPECT_EQ(Run({"1", "x", "2057", "true"}, readOnly).err, "");

    // The embedded database cannot be created there.
    fs::remove(Database());
    ProcessResult noDatabase = Run({"1", "x", "2057", "true"}, readOnly);
    EXPECT_EQ(noDatabase.exitCode, 3);
    EXPECT_EQ(noDatabase.err.rfind("[tvkUpdateService] Error getting mail settings:30 - ", 0), 0u)
        << noDatabase.err;
    EXPECT_FALSE(fs::exists(Database()));
}

// The program folder on a small tmpfs that is then filled up: every write the
// run tries fails, and each file it would have replaced stays whole.
TEST_F(Faults, AFullProgramFolderKeepsEveryFileWhole) {
    if (!CanCreateMountNamespace()) GTEST_SKIP() << "needs mount namespaces (root)";
    server.ServeSigned("/files/update.ini", kNewDescriptor);
    uintmax_t programSize = 0;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        programSize += entry.file_size();
    const std::string size = std::to_string(programSize / 1024 + 2048) + "k";

    // The folder's content is copied onto the tmpfs, the rest filled, the
    // binary run there; afterwards the files are copied out for the checks.
    TempFolder mountPoint, results;
    const std::string script =
        "set -u; src=$0 dir=$1 out=$2 size=$3; shift 3; "
        "mount -t tmpfs -o size=$size tmpfs \"$dir\" && cp -a \"$src\"/. \"$dir\"/ || exit 120; "
        "dd if=/dev/zero of=\"$dir/filler\" bs=4k 2>/dev/null; "
        "\"$dir/tvkUpdateService\" \"$@\"; code=$?; "
        "for f in Velkor5.ini update.ini; do [ -e \"$dir/$f\" ] && cp \"$dir/$f\" \"$out/$f\"; "
        "done; "
        "ls -A \"$dir\" > \"$out/listing\"; exit $code";
    auto runFull = [&](const std::vector<std::string>& args, bool isolated = false) {
        std::vector<std::string> argv =
            test::WithoutDisplay({"unshare", "-m", "sh", "-c", script, folder.Path().string(),
                                  mountPoint.Path().string(), results.Path().string(), size},
                                 args);
        for (const char* f : {"Velkor5.ini", "update.ini", "listing"}) fs::remove(results / f);
        return RunProcess(isolated ? Online(argv) : argv);
    };
    const std::string dir = mountPoint.Path().string();

    // The application's own settings, without the service's section yet.
    // The defaults do not fit and are used as they are, in a network namespace
    // where their host resolves nowhere.
    const std::string appSettings = "[Database]\r\nServer=SQL01\\VELKOR\r\n";
    WriteAll(Ini(), appSettings);
    ProcessResult first = runFull({"1", "x", "2057", "true"}, true);
    ASSERT_NE(first.exitCode, 120) << first.err;
    EXPECT_EQ(first.exitCode, 4);
    EXPECT_EQ(first.err.rfind("[Error] Error getting update info: 6 - ", 0), 0u) << first.err;
    EXPECT_EQ(ReadAll(results / "Velkor5.ini"), appSettings);
    // What the folder held, plus the filler: no temporary file left behind.
    auto expectOnlyTheFolderAndTheFiller = [&] {
        std::vector<std::string> listed;
        std::istringstream in(ReadAll(results / "listing"));
        for (std::string line; std::getline(in, line);) listed.push_back(line);
        std::sort(listed.begin(), listed.end());
        std::vector<std::string> expected = Names(folder.Path());
        expected.push_back("filler");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(listed, expected);
    };
    expectOnlyTheFolderAndTheFiller();

    // A set-up installation: the new descriptor does not fit.
    UseHost(server.Url("/files"));
    WriteAll(Descriptor(), kPreviousDescriptor);
    ProcessResult later = runFull({"1", "x", "2057", "true"});
    EXPECT_EQ(later.exitCode, 4);
    EXPECT_EQ(later.err, "[Error] Error getting update info: 28 - Cannot write " + dir +
                             "/update.ini: No space left on device\n");
    EXPECT_EQ(ReadAll(results / "update.ini"), kPreviousDescriptor);
    expectOnlyTheFolderAndTheFiller();
}

// ---- Velkor5.ini that cannot be written ---------------------------------------

// Read-only here means what stops root too: the immutable attribute. The
// user's file must survive whole, and the run must say why it stopped.
class ImmutableFile {
  public:
    explicit ImmutableFile(fs::path path) : path_(std::move(path)) {
        set_ = RunProcess({"chattr", "+i", path_.string()}).exitCode == 0;
    }
    ~ImmutableFile() {
        if (set_) RunProcess({"chattr", "-i", path_.string()});
    }
    bool Set() const { return set_; }

  private:
    fs::path path_;
    bool set_ = false;
};

TEST_F(Faults, AnUnwritableSettingsFileIsKeptWholeAndTheRunUsesTheDefaults) {
    if (!CanCreateNetworkNamespace()) GTEST_SKIP() << "needs network namespaces (root)";
    const std::string appSettings = "; Velkor\r\n[Database]\r\nServer=SQL01\\VELKOR\r\n";
    WriteAll(Ini(), appSettings);
    const std::vector<std::string> before = Names(folder.Path());
    {
        ImmutableFile immutable(Ini());
        if (!immutable.Set()) GTEST_SKIP() << "the temp folder's file system has no immutable flag";
        // Where the default host resolves nowhere.
        ProcessResult first = Run({"1", "x", "2057", "true"}, Online({"env"}));
        EXPECT_EQ(first.exitCode, 4);
        EXPECT_NE(first.err.find("update.tavrin.no"), std::string::npos) << first.err;
        EXPECT_EQ(ReadAll(Ini()), appSettings);
        EXPECT_EQ(Names(folder.Path()), before);
    }

    // Once set up, the file is only read: an unwritable one does not matter.
    UseHost(server.Url("/files"));
    server.ServeSigned("/files/update.ini", "[Update]\r\nBuild=500\r\n");
    const std::string settings = ReadAll(Ini());
    ImmutableFile immutable(Ini());
    ProcessResult later = Run({"1", "x", "2057", "true"});
    EXPECT_EQ(later.exitCode, 0) << later.err;
    EXPECT_EQ(later.err, "");
    EXPECT_EQ(ReadAll(Ini()), settings);
}

// For an ordinary user, read-only is the file's mode. Windows refuses to write
// a private-profile file marked read-only; a rename over it must not get round
// that here either.
TEST_F(Faults, AReadOnlySettingsFileIsNotReplacedForAnOrdinaryUser) {
    if (!CanCreateNetworkNamespace()) GTEST_SKIP() << "needs network namespaces (root)";
    const std::string appSettings = "[Database]\r\nServer=SQL01\\VELKOR\r\n";
    WriteAll(Ini(), appSettings);
    fs::permissions(folder.Path(), fs::perms::all);  // the user may create files there
    fs::permissions(Ini(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    constexpr const char* kNobody = "65534";
    ASSERT_EQ(::chown(Ini().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(Database().c_str(), 65534, 65534), 0);

    // Inside a network namespace of its own: nothing the defaults name is reached.
    ProcessResult run =
        RunProcess(Online({"setpriv", "--reuid", kNobody, "--regid", kNobody, "--clear-groups",
                           folder.Executable().string(), "1", "x", "2057", "true"}));
    if (run.err.find("setpriv") != std::string::npos) GTEST_SKIP() << run.err;
    EXPECT_EQ(ReadAll(Ini()), appSettings);
    EXPECT_EQ(run.exitCode, 4) << run.err;
    EXPECT_NE(run.err.find("update.tavrin.no"), std::string::npos) << run.err;
}

// ---- The download ------------------------------------------------------------

class EndRecorder : public TransferEvents {
  public:
    void StatusCode(int32_t code) override { lost += code == kConnectionLost; }
    void StatusMessage(const std::string&) override {}
    void TransferStart(const std::string&, const std::string&, bool) override {}
    void TransferProgress(const std::string&, const std::string&, int64_t, int64_t,
                          bool&) override {}
    void TransferFailed(const std::string&, const std::string&,
                        const TransferError& failure) override {
        ++failed;
        cause = failure.Cause();
    }
    void TransferComplete(const std::string&, const std::string&) override { ++complete; }
    int failed = 0, complete = 0, lost = 0;
    TransferCause cause = TransferCause::Other;
};

// The disk fills while the setup program arrives: a 256 KiB tmpfs in a mount
// namespace of a forked child, a 2 MiB body. The child reports what it saw
// as text in a folder outside the tmpfs.
TEST(FaultsAtComponentLevel, AFullDiskDuringTheDownloadFailsAndKeepsThePreviousFile) {
    TempFolder disk, report;
    const std::string previous = LoopbackHttpServer::Pattern(7, 64 * 1024);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto finish = [&](const std::string& text, int code) {
            std::ofstream(report / "result") << text;
            ::_exit(code);
        };
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", disk.Path().c_str(), "tmpfs", 0, "size=256k") != 0)
            finish("", 99);
        {
            std::ofstream(disk / "setup.exe", std::ios::binary) << previous;
            LoopbackHttpServer server;
            server.Serve("/setup.exe", LoopbackHttpServer::Generated(2 * 1024 * 1024));
            QueueDispatcher dispatcher;
            EndRecorder events;
            CurlTransfer transfer(TransferOptions{5s, 2s, ""});
            transfer.Asynchronous(true);
            transfer.SetEvents(&events, &dispatcher);
            transfer.GetFileHTTP(server.Url("/setup.exe"), disk.Path().string() + "/", "setup.exe");
            dispatcher.PumpUntil([&] { return events.failed + events.complete > 0; }, 30s);
            std::string text = "failed " + std::to_string(events.failed) +
                               (events.cause == TransferCause::DiskFull ? " (disk full)" : "") +
                               "\ncomplete " + std::to_string(events.complete) + "\nlost " +
                               std::to_string(events.lost) + "\nprevious kept " +
                               std::to_string(ReadAll(disk / "setup.exe") == previous) + "\n";
            std::ofstream(report / "result") << text;
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 99) GTEST_SKIP() << "needs mount namespaces (root)";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadAll(report / "result"),
              "failed 1 (disk full)\ncomplete 0\nlost 0\nprevious kept 1\n");
}

// ---- Mail --------------------------------------------------------------------

std::unique_ptr<MailMessage> Notice() {
    auto message = CreateMailMessage();
    message->SetSubject("New version of Velkor is released (7.9.512)");
    message->SetSender("service@velkor.no");
    message->AddRecipient("", "kunde@firma.no");
    message->SetBodyText("Best regards");
    return message;
}

// A server that takes every recipient and then refuses the message itself.
TEST(FaultsAtComponentLevel, AMessageTheServerRefusesIsAFailureThatQuotesTheReply) {
    using RefuseAt = FaultSmtpServer::RefuseAt;
    for (RefuseAt at : {RefuseAt::DataCommand, RefuseAt::EndOfMessage}) {
        SCOPED_TRACE(at == RefuseAt::DataCommand ? "at DATA" : "after the message");
        FaultSmtpServer server(at);
        auto sender = CreateMailSender();
        sender->SetServer(server.HostAndPort());
        const ServiceError refused = ErrorOf([&] { sender->Send(*Notice()); });
        EXPECT_NE(refused.Number(), 0);
        EXPECT_NE(refused.Description().find("554"), std::string::npos) << refused.Description();

        // The e-mail routine reports it as its result; the page file goes anyway.
        const std::string page = WriteTempFile("<html><body>Ny versjon</body></html>", "htm");
        const std::string result =
            SendEmail("kunde@firma.no", "New version", "", 0, 1, nullptr, "", server.HostAndPort(),
                      "", "", "", "service@velkor.no", "", "", page);
        EXPECT_NE(result.find("554"), std::string::npos) << result;
        EXPECT_FALSE(fs::exists(page));
    }
}

// A server without TLS whose name claims loopback, on an address that is not
// (namespaces of the test's own: lo also has 192.0.2.1), gets no password.
TEST(FaultsAtComponentLevel, ClearTextLoginIsJudgedByTheAddressConnectedTo) {
    TempFolder folder;
    WriteAll(folder / "hosts", "192.0.2.1 127.0.0.1.x\n");
    if (::fork() == 0) {
        if (::unshare(CLONE_NEWNET | CLONE_NEWNS) ||
            std::system("ip link set lo up && ip addr add 192.0.2.1/32 dev lo && mount "
                        "--make-rprivate /") ||
            ::mount((folder / "hosts").c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr))
            ::_exit(99);
        {  // the server ends here: _exit runs no destructor
            SmtpTestServer smtp({.userName = "anna", .password = "hemmelig", .host = "0.0.0.0"});
            const std::string failure = SendEmail("a@b.no", "", "x", 0, 1, nullptr, "",
                                                  "127.0.0.1.x:" + std::to_string(smtp.Port()),
                                                  "anna", "hemmelig", "", "s@v.no", "", "", "");
            WriteAll(folder / "r",
                     failure.substr(0, 3) + std::to_string(smtp.LoginAttempts().size()));
        }
        ::_exit(0);
    }
    int status = 0;
    ::wait(&status);
    if (WEXITSTATUS(status) == 99) GTEST_SKIP() << "needs network and mount namespaces (root)";
    EXPECT_EQ(ReadAll(folder / "r"), "64 0");  // CURLE_USE_SSL_FAILED, and no login
}

// Whatever the mail server refuses, the customer still learns of the release
// in the window, and the notice is not recorded as mailed, so that the next
// run mails it again.
TEST_F(Faults, ARefusedMailNoticeFallsBackToTheWindowAndIsNotCountedAsSent) {
    server.ServeSigned("/files/update.ini", kNewDescriptor);
    SmtpTestServer strict({"anna", "hemmelig"});
    SmtpTestServer open;
    FaultSmtpServer refusing(FaultSmtpServer::RefuseAt::EndOfMessage);
    struct Case {
        const char* fault;
        std::string server, user, password, to;
        bool refused;
    };
    const Case cases[] = {
        {"login refused", strict.HostAndPort(), "anna", "feil", "kunde@firma.no", true},
        {"recipient refused", open.HostAndPort(), "", "", "refused@firma.no", true},
        {"message refused", refusing.HostAndPort(), "", "", "kunde@firma.no", true},
        {"server down", "127.0.0.1:" + std::to_string(UnusedLoopbackPort()), "", "",
         "kunde@firma.no", true},
        {"accepted", open.HostAndPort(), "", "", "kunde@firma.no", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        fs::remove(Database());
        fs::remove(Descriptor());  // each case is the first to see the release
        MakeDatabase(Database(), Schema("('1', 'Fjord Regnskap AS', '0150', 1, '" + c.to +
                                        "', 0, '" + c.server + "', '" + c.user + "', '" +
                                        c.password + "', '', 'service@velkor.no')"));
        ProcessResult run = Run({"1", "x", "2057", "false"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, c.refused ? kNewHeading : "");
        EXPECT_EQ(QueryNumber(Database(), "SELECT UpdateServiceMailSent FROM Innstillinger"),
                  c.refused ? 0 : 1);
    }
    EXPECT_EQ(open.Messages().size(), 1u);
    EXPECT_TRUE(strict.Messages().empty());
    EXPECT_NE(strict.LoginAttempts().size(), 0u);
}

// Eight workstations (program folders of hard links) start together on one database.
TEST_F(Faults, OverlappingRunsMailTheNoticeOnce) {
    server.ServeSigned("/files/update.ini", kNewDescriptor);
    SmtpTestServer smtp;
    fs::remove(Database());
    MakeDatabase(Database(), Schema("('1', 'F', '0150', 1, 'a@b.no', 0, '" + smtp.HostAndPort() +
                                    "', '', '', '', 's@v.no')"));
    TempFolder stations;  // $0, and the program is $1
    ProcessResult runs = Run(
        {}, {"sh", "-c",
             R"(p=${1%/*}; cd "$0" && for i in $(seq 8); do mkdir $i && ln "$p"/* $i || exit; done
for i in $(seq 8); do ($i/tvkUpdateService 1 x 2057 false "/conn:sqlite:$p/Velkor.db"; echo $?)& done
wait)",
             stations.Path()});
    EXPECT_EQ(runs.out + runs.err, "0\n0\n0\n0\n0\n0\n0\n0\n");
    EXPECT_EQ(smtp.Messages().size(), 1u);
}

}  // namespace
}  // namespace tvk::test
