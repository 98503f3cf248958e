// Linux only: interfaces made with ip in the network namespace of a forked child (root).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "ChildProcess.h"
#include "components/transfer/KernelNetUtils.h"

namespace tvk {
namespace {

// Exit codes of the child process that asks in a namespace of its own.
constexpr int kNotConnected = 0;
constexpr int kConnected = 1;
constexpr int kThrew = 2;
constexpr int kSetupFailed = 3;
constexpr int kNoNamespace = 77;
constexpr int kNoDevice = 78;  // the setup script exits with this when a device kind is missing

// Every case runs in a child that first moves into a new, empty network
// namespace, so the host's interfaces are neither seen nor touched.
class KernelNetUtilsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* candidate : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
            if (std::filesystem::exists(candidate)) ip_ = candidate;
        }
        if (ip_.empty()) GTEST_SKIP() << "the ip command (iproute2) is not installed";
    }

    // Runs the shell script (with $IP set) and then Connected() in the child.
    int ConnectedInOwnNamespace(const std::string& script) {
        test::ChildProcess child([&]() -> long {
            if (!test::EnterOwnNetworkNamespace()) return kNoNamespace;
            const std::string command = "IP=" + ip_ + "; set -e; " + script;
            const int status = std::system(command.c_str());
            if (WIFEXITED(status) && WEXITSTATUS(status) == kNoDevice) return kNoDevice;
            if (status != 0) return kSetupFailed;
            try {
                return KernelNetUtils().Connected() ? kConnected : kNotConnected;
            } catch (const std::exception&) {
                return kThrew;
            }
        });
        return static_cast<int>(child.Wait().value_or(-1));
    }

    // Answers a case, or skips it when the machine cannot stage it.
    void Expect(const std::string& script, int expected) {
        const int result = ConnectedInOwnNamespace(script);
        if (result == kNoNamespace) GTEST_SKIP() << "unshare(CLONE_NEWNET) is not permitted here";
        if (result == kNoDevice) GTEST_SKIP() << "the kernel lacks a device kind this case needs";
        EXPECT_EQ(result, expected) << script;
    }

    std::string ip_;
};

// An interface d0 whose carrier is up: a dummy, or where the kernel has no
// dummy driver, one end of a veth pair whose other end is up too.
const std::string kRunningLink =
    "$IP link add d0 type dummy 2>/dev/null || "
    "{ $IP link add d0 type veth peer name d0p || exit 78; $IP link set d0p up; }; "
    "$IP link set d0 up; ";

TEST_F(KernelNetUtilsTest, OnlyLoopbackIsNotConnected) {
    Expect("$IP link set lo up", kNotConnected);
}

TEST_F(KernelNetUtilsTest, RunningInterfaceWithIPv4AddressIsConnected) {
    Expect("$IP link set lo up; " + kRunningLink + "$IP addr add 192.0.2.1/24 dev d0", kConnected);
}

TEST_F(KernelNetUtilsTest, InterfaceDownOrWithoutCarrierIsNotConnected) {
    // Administratively down, address present.
    Expect(
        "$IP link add d0 type veth peer name d0p || exit 78; "
        "$IP addr add 192.0.2.1/24 dev d0; $IP link set d0p up",
        kNotConnected);
    // Up, but its peer is down: no carrier, so not running.
    Expect(
        "$IP link add d0 type veth peer name d0p || exit 78; "
        "$IP addr add 192.0.2.1/24 dev d0; $IP link set d0 up",
        kNotConnected);
}

TEST_F(KernelNetUtilsTest, LinkLocalIPv6DoesNotCountButAGlobalOneDoes) {
    // Wait until the kernel has given d0 its link-local address, so that the
    // first case really has one to ignore.
    const std::string withLinkLocal =
        kRunningLink +
        "for i in 1 2 3 4 5 6 7 8 9 10; do "
        "  $IP -6 addr show dev d0 scope link | grep -q fe80 && break; sleep 0.1; done; "
        "$IP -6 addr show dev d0 scope link | grep -q fe80 || exit 78; ";
    Expect(withLinkLocal, kNotConnected);
    Expect(withLinkLocal + "$IP addr add 2001:db8::1/64 dev d0 nodad", kConnected);
}

}  // namespace
}  // namespace tvk
