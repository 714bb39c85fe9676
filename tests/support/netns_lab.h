#pragma once

// A private network lab for tests that send discovery traffic: a "PC"
// network namespace joined by veth links to any number of "site" namespaces,
// each with addresses of its own, plus the means to run programs (the device
// simulator above all) inside them. Nothing here ever touches the machine's
// own network: every namespace is made by the lab and deleted with it.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvex::testing {

// A process started by the lab. Destroying the handle stops it (SIGTERM, then
// SIGKILL after a few seconds) and reaps it, so no child outlives a test.
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
    // Sends `signal` and waits for the exit, escalating to SIGKILL after
    // `grace`. Returns the status as `Run` does; -1 when there is no process.
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
    // Makes the PC namespace, named after this process and lab
    // ("qvx<pid>-<n>-pc"), with `lo` up. Removes stale "qvx<pid>-*" namespaces
    // of processes that are gone first. Returns nullptr and sets *why when namespaces cannot be
    // made (not root, no `ip`).
    static std::unique_ptr<NetnsLab> Create(std::string* why);

    // Kills every process the lab spawned, restores the namespace of the thread
    // that called `EnterPc`, deletes every namespace the lab made.
    ~NetnsLab();
    NetnsLab(const NetnsLab&) = delete;
    NetnsLab& operator=(const NetnsLab&) = delete;

    // Adds the site namespace `site` ("qvx<pid>-<n>-<site>", `lo` up) joined to the
    // PC namespace by a veth pair: `pc_cidr` (e.g. "10.77.1.1/24") on the PC
    // side, `site_cidr` (e.g. "10.77.1.2/24") on the site side. With
    // `pc_gateway` the PC namespace gets a default route through it. Returns
    // the PC-side interface name, or "" when `ip` failed (the test should
    // fail then; the reason goes to `last_error()`).
    std::string AddSite(const std::string& site, const std::string& pc_cidr,
                        const std::string& site_cidr, const std::string& pc_gateway = "");
    // Adds one more address to a namespace's interface (e.g. a second subnet on
    // the same wire). False when `ip` failed.
    bool AddAddress(const std::string& ns, const std::string& interface, const std::string& cidr);

    std::string pc_namespace() const { return pc_; }
    std::string site_namespace(const std::string& site) const;
    // The site-side interface name of `site` (inside the site namespace).
    std::string site_interface(const std::string& site) const;
    // The PC-side interface name of `site` (inside the PC namespace).
    std::string pc_interface(const std::string& site) const;

    // Moves the calling thread into the PC namespace (setns); threads it starts
    // afterwards are born there. Call it from the thread that runs the code
    // under test; the destructor moves that thread back.
    void EnterPc();

    // Runs `work` on a fresh thread that lives in namespace `ns`, and waits.
    // False when the thread could not enter `ns`.
    bool RunIn(const std::string& ns, const std::function<void()>& work);

    // Runs argv inside `ns` (fork, setns, exec; argv[0] is looked up in PATH;
    // an empty `ns` is the caller's own namespace). The handle stops the
    // process when it goes away; the lab also stops every process still
    // running when it is destroyed, and the process is killed if the thread
    // that spawned it ends first, so spawn from a long-lived thread.
    ChildProcess Spawn(const std::string& ns, const std::vector<std::string>& argv,
                       const std::string& stdout_file = "", const std::string& stderr_file = "");

    // Runs argv inside `ns`, feeds it `stdin_text`, waits up to `deadline`
    // and returns its exit status (the exit code; 128 + signal when killed;
    // -1 when it could not be started or the deadline passed and it was
    // killed). Replaces *out and *err with what it wrote to standard output
    // and error.
    int Run(const std::string& ns, const std::vector<std::string>& argv, std::string* out = nullptr,
            std::string* err = nullptr, const std::string& stdin_text = "",
            std::chrono::milliseconds deadline = std::chrono::seconds(60));

    // A scratch directory of the lab, removed with it.
    const std::string& scratch_dir() const { return scratch_; }
    // What went wrong in the last failed `ip` call.
    const std::string& last_error() const { return last_error_; }

private:
    NetnsLab() = default;
    bool Ip(const std::vector<std::string>& args);
    bool IpIn(const std::string& ns, const std::vector<std::string>& args);

    struct Site {
        std::string name;
        std::string ns;
        std::string pc_if;
        std::string site_if;
    };

    std::string prefix_;  // "qvx<pid>-"
    std::string pc_;
    std::string scratch_;
    std::vector<Site> sites_;
    std::vector<std::string> namespaces_;  // every namespace made, for clean-up
    std::vector<pid_t> spawned_;
    int saved_ns_fd_ = -1;  // the namespace of the thread that called EnterPc
    pid_t entered_tid_ = 0;
    std::string last_error_;
    int next_link_ = 0;
};

// One datagram that the simulator logged (`--log`).
struct LoggedDatagram {
    double time = 0;        // seconds since the epoch
    std::string interface;  // receiving interface
    std::string source;     // "address:port"
    std::uint16_t destination_port = 0;
    std::vector<std::uint8_t> bytes;
};

// `quorvex-sim` running in one namespace of a lab.
class Simulator {
public:
    // Starts the simulator in `ns` with `args` plus a ready file and a log in
    // the lab's scratch directory, and waits (up to 10 s) until every socket
    // is bound. nullptr and *why when it exited or did not get ready.
    static std::unique_ptr<Simulator> Start(NetnsLab& lab, const std::string& ns,
                                            const std::vector<std::string>& args, std::string* why);
    // Every datagram logged so far, oldest first.
    std::vector<LoggedDatagram> ReadLog() const;
    // Waits (up to `deadline`) until the log holds at least `count` entries for
    // which `match` is true; returns the number that matched at the end.
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
    std::string log_;
    std::string stderr_;
};

// The built simulator program.
std::string SimulatorPath();

// True when the environment asks that namespace tests fail instead of skip
// (QUORVEX_REQUIRE_NETNS=1).
bool NetnsRequired();

// Polls `condition` until it holds or `deadline` passes; returns its last value.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace quorvex::testing

// Declares `std::unique_ptr<NetnsLab> lab` in a test body: skips the test with
// "needs root to build network namespaces" when the lab cannot be made, or
// fails it when QUORVEX_REQUIRE_NETNS=1 is set.
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
