#include "components/database/DatabaseComponent.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "common/AsciiText.h"
#include "common/ServiceError.h"
#include "components/database/SqliteDatabase.h"
#include "platform/Module.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

constexpr const char* kSqlitePrefix = "sqlite:";

// The objects the service reads, shaped as on the application's SQL Server,
// with demo values for a machine that has no server.
constexpr const char* kSchema = R"sql(
BEGIN;
CREATE TABLE Innstillinger (
    Serienummer TEXT,
    RegFirma TEXT,
    Postnummer TEXT,
    UpdateServiceSendMail INTEGER DEFAULT 0,
    UpdateServiceSendTo TEXT,
    UpdateServiceMailSent INTEGER DEFAULT 0,
    MailServer TEXT,
    MailBrukerid TEXT,
    MailPassord TEXT,
    MailDomene TEXT,
    MailAvsender TEXT
);
INSERT INTO Innstillinger VALUES ('1', 'Demo Regnskap AS', '0150', 0, '', 0, '', '', '', '', '');
CREATE TABLE Version (DatabaseVersion TEXT, SQLServerVersion TEXT);
INSERT INTO Version VALUES ('5.0', '16.0.1000.6');
CREATE VIEW SQLServerDate AS SELECT datetime('now', 'localtime') AS SQLServerDate;
CREATE TABLE xp_msver (
    "Index" INTEGER PRIMARY KEY,
    Name TEXT NOT NULL,
    Internal_Value INTEGER,
    Character_Value TEXT
);
INSERT INTO xp_msver VALUES (2, 'ProductVersion', 1048576, '16.0.1000.6');
COMMIT;
)sql";

constexpr std::string_view kConnectionBlanks = " \t\r\n";

bool IsBareName(const std::string& source) {
    if (source.empty()) return false;
    for (char c : source) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

// Reserves a fresh name beside `target` by creating the empty file exclusively,
// readable by its owner alone: the database will hold the mail password, and
// SQLite gives its journal the same permissions.
std::filesystem::path ReserveTemporaryFile(const std::filesystem::path& target) {
    std::random_device random;
    for (int attempt = 0; attempt < 20; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
        std::filesystem::path candidate = target;
        candidate += suffix;
        if (platform::CreateExclusiveFile(candidate)) return candidate;
    }
    throw ServiceError(EEXIST,
                       "Cannot find a free temporary name beside " + platform::PathText(target));
}

// Removes the temporary file (and a journal SQLite may have left) on every path.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
        std::filesystem::remove(platform::TextPath(platform::PathText(path_) + "-journal"), ec);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace

DatabaseComponent::DatabaseComponent(std::filesystem::path programFolder)
    : programFolder_(std::move(programFolder)) {}

DatabaseComponent::~DatabaseComponent() = default;

void DatabaseComponent::SetConnectionString(const std::string& text) { connectionText_ = text; }

void DatabaseComponent::Connect() {
    std::unique_ptr<Database> engine = OpenEngine();
    engine->Connect();
    engine_ = std::move(engine);
}

std::unique_ptr<Database> DatabaseComponent::OpenEngine() const {
    const std::string text(TrimAscii(connectionText_, kConnectionBlanks));
    if (StartsWithIgnoringAsciiCase(text, "none") && text.size() == 4) {
        std::filesystem::path path = programFolder_ / kDefaultFileName;
        CreateDefaultDatabase(path);
        auto engine = std::make_unique<SqliteDatabase>();
        engine->SetConnectionString(platform::PathText(path));
        return engine;
    }
    if (StartsWithIgnoringAsciiCase(text, kSqlitePrefix)) {
        std::string file(TrimAscii(text.substr(std::strlen(kSqlitePrefix)), kConnectionBlanks));
        std::filesystem::path path = platform::TextPath(file);
        // An empty path stays empty, so that it fails instead of naming the folder.
        if (!file.empty() && path.is_relative()) path = programFolder_ / path;
        auto engine = std::make_unique<SqliteDatabase>();
        engine->SetConnectionString(platform::PathText(path));
        return engine;
    }
    // unixODBC and its drivers are loaded only for a connection that uses them.
    static const platform::Module odbc =
        platform::Module::Load(platform::ProgramFolder(), kOdbcModule);
    std::unique_ptr<Database> engine = odbc.Entry<OdbcModuleEntry>(kOdbcEntry)();
    engine->SetConnectionString(connectionText_);
    return engine;
}

Database& DatabaseComponent::Engine() const {
    if (engine_ == nullptr) {
        throw ServiceError(ErrorNumber::ObjectClosed,
                           "Operation is not allowed when the object is closed.");
    }
    return *engine_;
}

std::unique_ptr<tvk::Recordset> DatabaseComponent::Recordset(const std::string& source,
                                                             bool noRows) {
    return Engine().Recordset(CommandText(source), noRows);
}

int64_t DatabaseComponent::Execute(const std::string& statement) {
    return Engine().Execute(statement);
}

void DatabaseComponent::Disconnect() {
    if (engine_ == nullptr) return;
    engine_->Disconnect();
    engine_.reset();
}

std::string DatabaseComponent::CommandText(const std::string& source) {
    return IsBareName(source) ? "SELECT * FROM " + source : source;
}

void DatabaseComponent::CreateDefaultDatabase(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return;

    TemporaryFile temporary(ReserveTemporaryFile(path));
    {
        SqliteDatabase database(SqliteDatabase::OpenMode::CreateIfMissing);
        database.SetConnectionString(platform::PathText(temporary.Path()));
        database.Connect();
        database.Recordset(kSchema, true);
        database.Disconnect();
    }
    // A hard link appears only if the name is free, so a second process that
    // got there first keeps its file and this one is simply dropped.
    std::filesystem::create_hard_link(temporary.Path(), path, ec);
    if (!ec || ec == std::errc::file_exists) return;
    // File systems without hard links: rename, which is still all-or-nothing.
    if (std::filesystem::exists(path, ec)) return;
    std::filesystem::rename(temporary.Path(), path, ec);
    if (ec) {
        throw ServiceError(ec.value(),
                           "Cannot create " + platform::PathText(path) + ": " + ec.message());
    }
}

}  // namespace tvk
