// The lab itself: what it makes it also removes, it sweeps what crashed runs
// left behind, and the programs it runs see their namespace and their input.

#include "tests/support/netns_lab.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

namespace quorvex {
namespace {

using testing::NetnsLab;

bool NamespaceExists(const std::string& name) {
    return !name.empty() && std::filesystem::exists("/run/netns/" + name);
}

ino_t ThreadNamespace() {
    struct stat s {};
    ::stat("/proc/thread-self/ns/net", &s);
    return s.st_ino;
}

TEST(NetnsLabLifecycle, RemovesItsNamespacesAndSweepsThoseOfDeadRuns) {
    std::string why;
    if (::geteuid() != 0) {
        if (testing::NetnsRequired()) FAIL() << "QUORVEX_REQUIRE_NETNS=1 but not root";
        GTEST_SKIP() << "needs root to build network namespaces";
    }
    // A namespace named after a process that has exited, as a crashed run
    // leaves it.
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const std::string stale = "qvx" + std::to_string(dead) + "-0-pc";
    {
        auto maker = NetnsLab::Create(&why);
        ASSERT_TRUE(maker) << why;
        ASSERT_EQ(maker->Run("", {"ip", "netns", "add", stale}), 0);
    }
    ASSERT_TRUE(NamespaceExists(stale));

    const ino_t before = ThreadNamespace();
    std::string pc, site, scratch;
    {
        auto lab = NetnsLab::Create(&why);
        ASSERT_TRUE(lab) << why;
        EXPECT_FALSE(NamespaceExists(stale));
        pc = lab->pc_namespace();
        scratch = lab->scratch_dir();
        ASSERT_FALSE(lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty())
            << lab->last_error();
        EXPECT_TRUE(lab->AddSite("a", "10.77.3.1/24", "10.77.3.2/24").empty());  // taken
        site = lab->site_namespace("a");
        EXPECT_TRUE(NamespaceExists(pc));
        EXPECT_TRUE(NamespaceExists(site));
        lab->EnterPc();
        EXPECT_NE(ThreadNamespace(), before);

        // The site is reachable from the PC across the veth link, and a
        // program in the site sees only the site's interfaces.
        int listener = -1;
        EXPECT_TRUE(lab->RunIn(site, [&] {
            // A socket keeps the namespace it was made in.
            listener = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(40000);
            ::inet_pton(AF_INET, "10.77.1.2", &a.sin_addr);
            EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        }));
        const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(40000);
        ::inet_pton(AF_INET, "10.77.1.2", &to.sin_addr);
        EXPECT_EQ(::sendto(sender, "hi", 2, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 2);
        pollfd p{listener, POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 10000), 1);
        ::close(sender);
        ::close(listener);
        std::string out;
        EXPECT_EQ(lab->Run(site, {"ip", "-o", "-4", "addr", "show"}, &out), 0);
        EXPECT_NE(out.find("10.77.1.2/24"), std::string::npos) << out;
        EXPECT_EQ(out.find("10.77.1.1/24"), std::string::npos) << out;

        std::string err;
        EXPECT_EQ(lab->Run("", {"sh", "-c", "cat; echo oops >&2; exit 3"}, &out, &err, "fed in"),
                  3);
        EXPECT_EQ(out, "fed in");
        EXPECT_EQ(err, "oops\n");

        auto child = lab->Spawn(site, {"sleep", "60"});
        EXPECT_TRUE(child.Running());
        EXPECT_EQ(child.Stop(), 128 + SIGTERM);
        lab->Spawn(site, {"sleep", "60"});  // left to the lab to stop
    }
    EXPECT_EQ(ThreadNamespace(), before);
    EXPECT_FALSE(NamespaceExists(pc));
    EXPECT_FALSE(NamespaceExists(site));
    EXPECT_FALSE(std::filesystem::exists(scratch));
}

}  // namespace
}  // namespace quorvex
