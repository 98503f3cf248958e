#include <sodium.h>
#include <stdlib.h>

#include <ctime>
#include <random>
#include <stdexcept>

#include "TestSupport.h"
#include "platform/Platform.h"
#include "platform/WindowsText.h"

namespace tvk::test {

using platform::Utf8;
using platform::Wide;

TempFolder::TempFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "tvktest.%08x", static_cast<unsigned>(random()));
        path_ = std::filesystem::temp_directory_path() / name;
        // create_directory is false for a name that is already taken.
        if (std::filesystem::create_directory(path_)) return;
    }
    throw std::runtime_error("no free name for a temporary folder");
}

void SetEnvironment(const char* name, const std::optional<std::string>& value) {
    // An empty value removes the variable; the wide form keeps paths outside
    // the code page, and updates the C runtime's copy and the process's own.
    if (::_wputenv_s(Wide(name).c_str(), value ? Wide(*value).c_str() : L"") != 0)
        throw std::runtime_error(std::string("cannot set ") + name);
}

const char* const kTempFolderVariable = "TMP";
const char* const kWindowTestPlatform = "windows";

std::string ProgramFileName(const std::string& name) { return name + ".exe"; }

bool UnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsSharedLibrary(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".dll";
}

namespace {

// One argument as the C runtime's parser (CommandLineToArgvW) splits it again:
// quotes around it, backslashes doubled only before a quote.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    for (auto at = argument.begin();; ++at) {
        size_t backslashes = 0;
        for (; at != argument.end() && *at == L'\\'; ++at) ++backslashes;
        if (at == argument.end()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        quoted.append(*at == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted.push_back(*at);
    }
    return quoted + L"\"";
}

HANDLE InheritableFile(const std::filesystem::path& path, bool forWriting) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = ::CreateFileW(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                forWriting ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + platform::PathText(path));
    return file;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv) {
    TempFolder outputs;
    std::wstring commandLine;
    for (const std::string& argument : argv)
        commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(Wide(argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableFile("NUL", false);
    startup.hStdOutput = InheritableFile(outputs / "out", true);
    startup.hStdError = InheritableFile(outputs / "err", true);
    PROCESS_INFORMATION process{};
    // Without an application name, Windows searches the PATH for the first
    // word (adding ".exe"), as execvp does.
    const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    const DWORD error = ::GetLastError();
    for (HANDLE file : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        ::CloseHandle(file);
    ProcessResult result;
    if (!started) {
        // As the POSIX child's exec failure: 127 for a program not found.
        result.exitCode =
            error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 127 : 126;
        return result;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    result.exitCode = static_cast<int>(code);
    result.out = ReadAll(outputs / "out");
    result.err = ReadAll(outputs / "err");
    return result;
}

// minisign's formats: a secret key file "Ed", KDF "\0\0" (no password),
// checksum "B2", salt and limits, key id, Ed25519 secret key, checksum; a
// public key "Ed", key id, Ed25519 public key; a signature "ED" (of the
// BLAKE2b-512 digest) or "Ed" (of the content itself), key id, signature, then
// the trusted comment and a signature of the first signature and that comment.
namespace {

constexpr size_t kKeyIdOffset = 54;
constexpr size_t kSecretKeyFileSize = 158;

void StartSodium() {
    if (::sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
}

std::string Base64(const std::string& bytes) {
    std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    ::sodium_bin2base64(text.data(), text.size(),
                        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                        sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.find('\0'));
    return text;
}

std::string FromBase64(const std::string& text) {
    std::string bytes(text.size(), '\0');
    size_t length = 0;
    if (::sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(),
                            text.data(), text.size(), "\r\n", &length, nullptr,
                            sodium_base64_VARIANT_ORIGINAL) != 0)
        throw std::runtime_error("not base64: " + text);
    bytes.resize(length);
    return bytes;
}

std::string Sign(const std::string& message, const std::string& secretKey) {
    std::string signature(crypto_sign_BYTES, '\0');
    ::crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                           reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                           reinterpret_cast<const unsigned char*>(secretKey.data()));
    return signature;
}

std::string SecondLine(const std::string& text) {
    const size_t start = text.find('\n') + 1;
    return text.substr(start, text.find('\n', start) - start);
}

}  // namespace

std::string ReleaseSignatureOf(const std::string& content, const std::string& comment,
                               const std::string& key, bool legacy) {
    StartSodium();
    const std::string keyFile = FromBase64(SecondLine(ReadAll(platform::TextPath(key))));
    if (keyFile.size() != kSecretKeyFileSize ||
        keyFile.compare(0, 4, std::string("Ed\0\0", 4)) != 0)
        throw std::runtime_error(key + " is not a minisign secret key without a password");
    const std::string keyId = keyFile.substr(kKeyIdOffset, 8);
    const std::string secretKey = keyFile.substr(kKeyIdOffset + 8, crypto_sign_SECRETKEYBYTES);
    std::string signed_ = content;
    if (!legacy) {
        signed_.assign(crypto_generichash_BYTES_MAX, '\0');
        ::crypto_generichash(reinterpret_cast<unsigned char*>(signed_.data()), signed_.size(),
                             reinterpret_cast<const unsigned char*>(content.data()), content.size(),
                             nullptr, 0);
    }
    const std::string signature = Sign(signed_, secretKey);
    return "untrusted comment: signature from minisign secret key\n" +
           Base64((legacy ? "Ed" : "ED") + keyId + signature) + "\ntrusted comment: " + comment +
           "\n" + Base64(Sign(signature + comment, secretKey)) + "\n";
}

ReleaseKeyPair MakeReleaseKeyPair(const std::filesystem::path& folder, const std::string& name) {
    StartSodium();
    std::string publicKey(crypto_sign_PUBLICKEYBYTES, '\0');
    std::string secretKey(crypto_sign_SECRETKEYBYTES, '\0');
    std::string keyId(8, '\0');
    ::crypto_sign_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                          reinterpret_cast<unsigned char*>(secretKey.data()));
    ::randombytes_buf(keyId.data(), keyId.size());
    // Salt, limits and checksum stay zero, as minisign -W leaves them.
    std::string keyFile(kSecretKeyFileSize, '\0');
    keyFile.replace(0, 6, "Ed\0\0B2", 6);
    keyFile.replace(kKeyIdOffset, keyId.size() + secretKey.size(), keyId + secretKey);
    ReleaseKeyPair pair{platform::PathText(folder / (name + ".key")),
                        Base64("Ed" + keyId + publicKey)};
    WriteAll(folder / (name + ".key"),
             "untrusted comment: minisign encrypted secret key\n" + Base64(keyFile) + "\n");
    WriteAll(folder / (name + ".pub"),
             "untrusted comment: minisign public key\n" + pair.publicKey + "\n");
    return pair;
}

}  // namespace tvk::test
