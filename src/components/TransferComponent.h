#pragma once

namespace tvk {

// HTTP and FTP transfers of the run. Its operations arrive with the update
// descriptor fetch and the download report.
class TransferComponent {
public:
    virtual ~TransferComponent() = default;
};

// Whether the machine has a network connection beyond loopback.
class NetUtils {
public:
    virtual ~NetUtils() = default;
    virtual bool Connected() = 0;
};

}  // namespace tvk
