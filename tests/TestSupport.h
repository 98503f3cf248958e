#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

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
void WriteAll(const std::filesystem::path& path, const std::string& bytes);

// Records every box and answers with a chosen answer (default: the safe one).
class RecordingDialogs : public Dialogs {
public:
    MessageAnswer ShowMessage(const MessageBoxRequest& request) override;
    std::vector<MessageBoxRequest> shown;
    MessageAnswer answer = MessageAnswer::Ok;
};

}  // namespace tvk::test
