#pragma once

#include <filesystem>
#include <string>

namespace tvk::platform {

// A shared library of the program's own (the windows, mail and ODBC
// modules), loaded only when a run needs it, so that a background run that
// shows, mails and connects to nothing loads none of their libraries. Once
// loaded it stays until the process ends: the objects it made and the
// libraries it uses must outlive every call.
class Module {
  public:
    // Loads the module `name` ("tvkMail") from `folder`. Throws ServiceError
    // naming the file and the reason when it is missing or cannot be loaded.
    static Module Load(const std::filesystem::path& folder, const std::string& name);

    // The module's entry point `symbol`, a function of type F. Throws
    // ServiceError naming the file when the module lacks it.
    template <class F>
    F* Entry(const char* symbol) const {
        return reinterpret_cast<F*>(Symbol(symbol));
    }

    const std::filesystem::path& File() const { return file_; }

  private:
    Module(void* handle, std::filesystem::path file) : handle_(handle), file_(std::move(file)) {}
    void* Symbol(const char* symbol) const;

    void* handle_;
    std::filesystem::path file_;
};

// The file of module `name` on this system ("libtvkMail.so").
std::string ModuleFileName(const std::string& name);

}  // namespace tvk::platform
