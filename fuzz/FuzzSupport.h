#pragma once

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "RecordingDialogs.h"
#include "common/TextSplit.h"

namespace tvk::fuzz {

// A broken invariant: print what and where, then abort so that libFuzzer
// keeps the input as a crash.
[[noreturn]] inline void Fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "\n%s:%d: invariant broken: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, what)                                                     \
    do {                                                                                \
        if (!(condition))                                                               \
            ::tvk::fuzz::Fail(__FILE__, __LINE__, #condition ": " + std::string(what)); \
    } while (false)

// Bytes made visible in a failure message: printable ASCII as it is, the rest
// as \xNN.
inline std::string Escaped(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// A folder of this process only, on a memory file system where there is one:
// the settings-file writes sync to disk, and tmpfs makes that cheap. Parallel
// fuzzing jobs never share one. Removed when the process ends normally; a
// crash leaves it behind, so the folders of processes that are gone are
// removed when the next one starts.
class ProcessFolder {
  public:
    ProcessFolder() {
        std::error_code error;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, error) || ::access(base.c_str(), W_OK) != 0)
            base = std::filesystem::temp_directory_path();
        RemoveLeftovers(base);
        path_ = base / (std::string(kPrefix) + std::to_string(::getpid()));
        std::filesystem::remove_all(path_, error);
        std::filesystem::create_directories(path_);
    }
    ~ProcessFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    ProcessFolder(const ProcessFolder&) = delete;
    ProcessFolder& operator=(const ProcessFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

  private:
    static constexpr std::string_view kPrefix = "tvkFuzz.";

    static void RemoveLeftovers(const std::filesystem::path& base) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(base, error)) {
            const std::string name = entry.path().filename().string();
            if (!name.starts_with(kPrefix)) continue;
            const std::string digits = name.substr(kPrefix.size());
            if (digits.empty() || digits.size() > 9 ||
                digits.find_first_not_of("0123456789") != std::string::npos)
                continue;
            const pid_t pid = static_cast<pid_t>(std::stol(digits));
            if (::kill(pid, 0) != 0 && errno == ESRCH)
                std::filesystem::remove_all(entry.path(), error);
        }
    }

    std::filesystem::path path_;
};

inline const std::filesystem::path& ProcessTempFolder() {
    static ProcessFolder folder;
    return folder.Path();
}

// Whether the text is well-formed UTF-8 (shortest forms, no surrogates, at
// most U+10FFFF). Written out here rather than taken from the code page
// module, which is one of the things under test.
inline bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t c = 0, lowest = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, c = lead & 0x1F, lowest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, c = lead & 0x0F, lowest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, c = lead & 0x07, lowest = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

using test::RecordingDialogs;

}  // namespace tvk::fuzz
