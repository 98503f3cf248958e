#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "Sockets.h"

namespace tvk::test {

// A forked copy of the test process that runs `work` and hands back the
// number it returns: for steps that change the whole process (a network
// namespace, a resource limit), end it, or must run beside others.
class ChildProcess {
  public:
    explicit ChildProcess(const std::function<long()>& work);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // What `work` returned; nothing when it threw, or the child could not be
    // started or did not end normally.
    std::optional<long> Wait();

  private:
    pid_t pid_ = -1;
    int result_ = -1;  // the read end of the pipe the child answers through
};

// Moves the calling process into a new network namespace with loopback only;
// false when that is not permitted (not root).
bool EnterOwnNetworkNamespace();

}  // namespace tvk::test
