#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "RecordingDialogs.h"
#include "common/ServiceError.h"

namespace tvk::test {

// A fresh folder under the system temp folder, removed with the object.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::string ReadAll(const std::filesystem::path& path);
// The file's lines, without their line feeds.
std::vector<std::string> ReadLines(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::string& bytes);

// Sets an environment variable of this process, or removes it (nullopt).
void SetEnvironment(const char* name, const std::optional<std::string>& value);
// The variable that names the user's temporary folder: TMPDIR, or TMP on
// Windows.
extern const char* const kTempFolderVariable;
// The user's temporary folder pointed at `folder` (made when missing) for the
// object's life.
class TempFolderAt {
  public:
    explicit TempFolderAt(const std::filesystem::path& folder);
    ~TempFolderAt() { SetEnvironment(kTempFolderVariable, saved_); }
    TempFolderAt(const TempFolderAt&) = delete;
    TempFolderAt& operator=(const TempFolderAt&) = delete;

  private:
    std::optional<std::string> saved_;
};
// The Qt platform the window tests run on: offscreen, which has no fonts on
// Windows, where they drive real windows instead.
extern const char* const kWindowTestPlatform;

struct ProcessResult {
    int exitCode = -1;  // 128 + signal number when killed by a signal
    std::string out;
    std::string err;
};

// Runs a program (searched on PATH) with its arguments and waits for it;
// what it writes goes to files, so that a full pipe never stops it.
ProcessResult RunProcess(const std::vector<std::string>& argv);

// The build's own release key (a development build makes one), which the
// programs under test trust. Keys and signatures are made by the minisign
// tool; on Windows, where the tests cannot count on it, in its formats with
// libsodium.
std::string BuildReleaseKey();
// A minisign signature of `content` (the text of its ".minisig" file) with
// the trusted comment `comment`, made by the minisign tool with the secret
// key `key`; `legacy` for the old form.
std::string ReleaseSignatureOf(const std::string& content,
                               const std::string& comment = "file:update.ini",
                               const std::string& key = BuildReleaseKey(), bool legacy = false);
// A key pair made by the minisign tool in `folder`: the secret key's path
// and the public key's base64 line.
struct ReleaseKeyPair {
    std::string secretKey;
    std::string publicKey;
};
ReleaseKeyPair MakeReleaseKeyPair(const std::filesystem::path& folder, const std::string& name);

// "name" or, on Windows, "name.exe"; whether a file is a shared library of
// this system (".so", ".so.N" / ".dll").
std::string ProgramFileName(const std::string& name);
bool IsSharedLibrary(const std::filesystem::path& file);
// Whether this Windows build runs under wine on a Unix host.
bool UnderWine();

// A program folder as a user would have it: the built executable and its
// shared libraries copied (not linked) into a fresh temp folder.
class ProgramFolder : public TempFolder {
  public:
    ProgramFolder();
    std::filesystem::path Executable() const {
        return Path() / ProgramFileName("tvkUpdateService");
    }
};

// Linux only (unshare, ip):
// Whether this process may create network namespaces (root, unshare -n).
bool CanCreateNetworkNamespace();

// Command prefixes that run a program without a display inside a new network
// namespace: with only loopback (offline), or with a veth pair that has
// an address (online, though no packet can leave).
// `prefix` then `argv`, run without a display (and without QT_QPA_PLATFORM).
std::vector<std::string> WithoutDisplay(std::vector<std::string> prefix,
                                        std::vector<std::string> argv);
std::vector<std::string> Offline(std::vector<std::string> argv);
std::vector<std::string> Online(std::vector<std::string> argv);

// The errno, or on Windows Windows' own number, of a file written in a
// missing folder, and of one another run holds.
#ifdef _WIN32
inline constexpr int64_t kNoSuchFolder = 3;  // ERROR_PATH_NOT_FOUND
inline constexpr int64_t kHeldFile = 32;     // ERROR_SHARING_VIOLATION
#else
inline constexpr int64_t kNoSuchFolder = ENOENT;
inline constexpr int64_t kHeldFile = EBUSY;
#endif

// The ServiceError a call throws; fails the test when it throws none.
template <class F>
ServiceError ErrorOf(F&& call) {
    try {
        call();
    } catch (const ServiceError& e) {
        return e;
    }
    ADD_FAILURE() << "no ServiceError thrown";
    return ServiceError(0, "");
}

}  // namespace tvk::test
