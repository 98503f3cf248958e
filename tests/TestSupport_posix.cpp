#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "TestSupport.h"

namespace tvk::test {

TempFolder::TempFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tvktest.XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

void SetEnvironment(const char* name, const std::optional<std::string>& value) {
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

const char* const kTempFolderVariable = "TMPDIR";
const char* const kWindowTestPlatform = "offscreen";

std::string ProgramFileName(const std::string& name) { return name; }
bool UnderWine() { return false; }

bool IsSharedLibrary(const std::filesystem::path& file) {
    return file.filename().string().find(".so") != std::string::npos;
}

std::string ReleaseSignatureOf(const std::string& content, const std::string& comment,
                               const std::string& key, bool legacy) {
    TempFolder folder;
    const std::string file = (folder / "signed").string();
    WriteAll(file, content);
    std::vector<std::string> argv = {"minisign", "-S", "-s", key, "-m", file, "-t", comment};
    if (legacy) argv.push_back("-l");
    ProcessResult signing = RunProcess(argv);
    if (signing.exitCode != 0) throw std::runtime_error("minisign failed: " + signing.err);
    return ReadAll(file + ".minisig");
}

ReleaseKeyPair MakeReleaseKeyPair(const std::filesystem::path& folder, const std::string& name) {
    ReleaseKeyPair pair{(folder / (name + ".key")).string(), ""};
    const std::string pub = (folder / (name + ".pub")).string();
    ProcessResult made =
        RunProcess({"minisign", "-G", "-f", "-W", "-p", pub, "-s", pair.secretKey});
    if (made.exitCode != 0) throw std::runtime_error("minisign failed: " + made.err);
    std::string text = ReadAll(pub);
    pair.publicKey = text.substr(text.find('\n') + 1);
    while (!pair.publicKey.empty() && pair.publicKey.back() == '\n') pair.publicKey.pop_back();
    return pair;
}

ProcessResult RunProcess(const std::vector<std::string>& argv) {
    TempFolder outputs;
    const std::string outPath = (outputs / "out").string();
    const std::string errPath = (outputs / "err").string();
    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (!std::freopen(outPath.c_str(), "w", stdout) ||
            !std::freopen(errPath.c_str(), "w", stderr))
            ::_exit(126);
        std::freopen("/dev/null", "r", stdin);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    return result;
}

bool CanCreateNetworkNamespace() {
    static const bool can = RunProcess({"unshare", "-n", "true"}).exitCode == 0;
    return can;
}

std::vector<std::string> WithoutDisplay(std::vector<std::string> prefix,
                                        std::vector<std::string> argv) {
    std::vector<std::string> all = {
        "env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"};
    all.insert(all.end(), prefix.begin(), prefix.end());
    all.insert(all.end(), argv.begin(), argv.end());
    return all;
}

std::vector<std::string> Offline(std::vector<std::string> argv) {
    return WithoutDisplay({"unshare", "-n"}, std::move(argv));
}

std::vector<std::string> Online(std::vector<std::string> argv) {
    // 192.0.2.0/24 is reserved for documentation: nothing answers there.
    return WithoutDisplay(
        {"unshare", "-n", "sh", "-c",
         "ip link add v0 type veth peer name v1 && ip addr add 192.0.2.1/24 dev v0 && "
         "ip link set v0 up && ip link set v1 up && ip link set lo up && exec \"$0\" \"$@\""},
        std::move(argv));
}

}  // namespace tvk::test
