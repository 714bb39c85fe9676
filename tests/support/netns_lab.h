#pragma once

// A private network lab for tests that send discovery traffic: a "PC" network
// namespace joined by veth links to "site" namespaces, and the means to run
// programs (the simulator above all) inside them. Every namespace is made by
// the lab and deleted with it; the machine's own network is never touched.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvex::testing {

// A process started by the lab. Destroying the handle stops and reaps it.
class ChildProcess {
public:
    ChildProcess() = default;
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    // True while the process has not exited (reaps it when it has).
    bool Running();
    // Sends `signal`, escalating to SIGKILL after `grace`, and returns the
    // status as `Run` does; -1 when there is no process.
    int Stop(int signal = 15, std::chrono::milliseconds grace = std::chrono::seconds(5));
    // Waits for the exit without signalling; -1 when `deadline` passes first
    // (the process is left running) or there is no process.
    int Wait(std::chrono::milliseconds deadline = std::chrono::seconds(10));

private:
    pid_t pid_ = -1;
    int status_ = -1;  // set once reaped
};

class NetnsLab {
public:
    // Makes the PC namespace "qvx<pid>-<n>-pc" with `lo` up, after removing
    // the "qvx<pid>-*" namespaces of processes that are gone. nullptr and *why
    // when namespaces cannot be made (not root, no `ip`).
    static std::unique_ptr<NetnsLab> Create(std::string* why);

    // Kills every process the lab spawned, moves the thread that called
    // `EnterPc` back, deletes every namespace the lab made.
    ~NetnsLab();
    NetnsLab(const NetnsLab&) = delete;
    NetnsLab& operator=(const NetnsLab&) = delete;

    // Adds site namespace "qvx<pid>-<n>-<site>" joined to the PC by a veth pair
    // with `pc_cidr` on the PC side and `site_cidr` on the site's "eth0"; with
    // `pc_gateway` the PC gets a default route through it. Returns the PC-side
    // interface name, or "" on failure (reason in `last_error()`).
    std::string AddSite(const std::string& site, const std::string& pc_cidr,
                        const std::string& site_cidr, const std::string& pc_gateway = "");
    // Adds one more address to an interface of `ns`. False when `ip` failed.
    bool AddAddress(const std::string& ns, const std::string& interface, const std::string& cidr);

    std::string pc_namespace() const { return pc_; }
    std::string site_namespace(const std::string& site) const { return At(site).ns; }
    std::string site_interface(const std::string& site) const { return At(site).site_if; }
    std::string pc_interface(const std::string& site) const { return At(site).pc_if; }

    // Moves the calling thread (and threads it starts later) into the PC
    // namespace; the destructor moves that thread back.
    void EnterPc();

    // Runs `work` on a fresh thread inside `ns` and waits. False when the
    // thread could not enter `ns`.
    bool RunIn(const std::string& ns, const std::function<void()>& work);

    // Runs argv (argv[0] looked up in PATH) inside `ns` ("" = the caller's
    // namespace). The process is stopped when the handle or the lab goes
    // away, and killed when the spawning thread ends: spawn from a long-lived
    // thread.
    ChildProcess Spawn(const std::string& ns, const std::vector<std::string>& argv,
                       const std::string& stdout_file = "", const std::string& stderr_file = "");

    // Runs argv inside `ns` with `stdin_text` as input, waits up to `deadline`
    // and returns the exit code (128 + signal when killed; -1 when it could
    // not start or the deadline passed). Replaces *out and *err with its output.
    int Run(const std::string& ns, const std::vector<std::string>& argv, std::string* out = nullptr,
            std::string* err = nullptr, const std::string& stdin_text = "",
            std::chrono::milliseconds deadline = std::chrono::seconds(60));

    // A scratch directory, removed with the lab.
    const std::string& scratch_dir() const { return scratch_; }
    // What went wrong in the last failed `ip` call.
    const std::string& last_error() const { return last_error_; }

private:
    struct Site {
        std::string name, ns, pc_if, site_if;  // site_if inside the site, pc_if inside the PC
    };
    NetnsLab() = default;
    bool Ip(const std::vector<std::string>& args, const std::string& ns = "");
    Site At(const std::string& site) const;  // empty when there is no such site

    std::string prefix_, pc_, scratch_, last_error_;
    std::vector<Site> sites_;
    std::vector<std::string> namespaces_;
    std::vector<pid_t> spawned_;
    int saved_ns_fd_ = -1;  // the namespace of the thread that called EnterPc
    pid_t entered_tid_ = 0;
};

// One datagram that the simulator logged (`--log`).
struct LoggedDatagram {
    double time = 0;        // seconds since the epoch
    std::string interface;  // receiving interface
    std::string source;     // "address:port"
    std::uint16_t destination_port = 0;
    std::vector<std::uint8_t> bytes;
    // A call to a standard camera's device service instead of a datagram
    // (bytes empty): which camera, at which address, and what came of it.
    std::string camera, address, operation, auth, result;
};

// `quorvex-sim` running in one namespace of a lab.
class Simulator {
public:
    // Starts it in `ns` with `args` plus a ready file and a log in the lab's
    // scratch directory, and waits (up to 10 s) until every socket is bound.
    // nullptr and *why when it exited or did not get ready.
    static std::unique_ptr<Simulator> Start(NetnsLab& lab, const std::string& ns,
                                            const std::vector<std::string>& args, std::string* why);
    // Every datagram logged so far, oldest first.
    std::vector<LoggedDatagram> ReadLog() const;
    // Waits up to `deadline` until at least `count` logged entries `match`;
    // returns the number that matched at the end.
    std::size_t WaitForLog(const std::function<bool(const LoggedDatagram&)>& match,
                           std::size_t count,
                           std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;
    // Stops it (SIGTERM) and returns its exit status.
    int Stop() { return process_.Stop(); }
    const std::string& log_path() const { return log_; }
    const std::string& stderr_path() const { return stderr_; }
    ChildProcess& process() { return process_; }

private:
    Simulator() = default;
    ChildProcess process_;
    std::string log_, stderr_;
};

// The built simulator program.
std::string SimulatorPath();

// True when QUORVEX_REQUIRE_NETNS=1 asks namespace tests to fail, not skip.
bool NetnsRequired();

// Polls `condition` until it holds or `deadline` passes; returns its last value.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace quorvex::testing

// Declares `std::unique_ptr<NetnsLab> lab` in a test body; skips the test when
// the lab cannot be made, or fails it under QUORVEX_REQUIRE_NETNS=1.
#define QUORVEX_LAB_OR_SKIP(lab)                                                        \
    std::string lab##_why;                                                              \
    std::unique_ptr<::quorvex::testing::NetnsLab> lab =                                 \
        ::quorvex::testing::NetnsLab::Create(&lab##_why);                               \
    if (!lab) {                                                                         \
        if (::quorvex::testing::NetnsRequired()) {                                      \
            FAIL() << "QUORVEX_REQUIRE_NETNS=1 but no lab: " << lab##_why;              \
        }                                                                               \
        GTEST_SKIP() << "needs root to build network namespaces (" << lab##_why << ")"; \
    }                                                                                   \
    static_assert(true, "")
