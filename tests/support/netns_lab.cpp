#include "tests/support/netns_lab.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

namespace quorvex::testing {
namespace {

constexpr const char* kNetnsDir = "/run/netns";
std::atomic<int> g_lab_counter{0};
std::atomic<int> g_sim_counter{0};

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

std::string ResolveProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::stringstream dirs(std::string(path ? path : "") + ":/usr/sbin:/sbin:/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return name;
}

int OpenNamespace(const std::string& ns) {
    return ns.empty() ? -1
                      : ::open((std::string(kNetnsDir) + "/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
}

// Forks and execs `args` inside `ns` ("" = here), with `fds` as the child's
// 0, 1, 2 where >= 0. The program is looked up before the fork: the child
// calls only async-signal-safe functions. Returns the pid, or -1.
pid_t Launch(const std::string& ns, const std::vector<std::string>& args,
             std::initializer_list<int> fds) {
    if (args.empty()) return -1;
    const int ns_fd = OpenNamespace(ns);
    if (!ns.empty() && ns_fd < 0) return -1;
    const std::string program = ResolveProgram(args[0]);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        int target = 0;
        for (int fd : fds) {
            if (fd >= 0) ::dup2(fd, target);
            ++target;
        }
        if (ns_fd >= 0 && ::setns(ns_fd, CLONE_NEWNET) != 0) ::_exit(126);
        // Signals blocked on the parent's threads must not pass on, or
        // SIGTERM would never stop the child.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    if (ns_fd >= 0) ::close(ns_fd);
    return pid;
}

int OpenForWriting(const std::string& path) {
    return path.empty() ? -1 : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

std::string ReadAll(int fd) {
    std::string text(std::size_t(std::max<off_t>(::lseek(fd, 0, SEEK_END), 0)), '\0');
    text.resize(std::size_t(std::max<ssize_t>(::pread(fd, text.data(), text.size(), 0), 0)));
    return text;
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), status_(other.status_) {
    other.pid_ = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Stop();
        pid_ = std::exchange(other.pid_, -1);
        status_ = other.status_;
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || status_ >= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    // r < 0 (ECHILD): the lab's destructor already reaped it.
    status_ = r == pid_ ? DecodeStatus(status) : 128 + SIGKILL;
    return false;
}

int ChildProcess::Wait(std::chrono::milliseconds deadline) {
    if (pid_ <= 0) return -1;
    // A pidfd turns readable the moment the process exits: no polling delay.
    pollfd p{int(::syscall(SYS_pidfd_open, pid_, 0)), POLLIN, 0};
    if (p.fd < 0) WaitUntil([this] { return !Running(); }, deadline);
    while (p.fd >= 0 && ::poll(&p, 1, int(deadline.count())) < 0 && errno == EINTR) {
    }
    if (p.fd >= 0) ::close(p.fd);
    Running();
    return status_;
}

int ChildProcess::Stop(int signal, std::chrono::milliseconds grace) {
    if (pid_ > 0 && Running()) {
        ::kill(pid_, signal);
        if (Wait(grace) < 0) {
            ::kill(pid_, SIGKILL);
            Wait(std::chrono::hours(1));
        }
    }
    return pid_ > 0 ? status_ : -1;
}

std::unique_ptr<NetnsLab> NetnsLab::Create(std::string* why) {
    auto fail = [why](const std::string& text) -> std::unique_ptr<NetnsLab> {
        if (why) *why = text;
        return nullptr;
    };
    if (::geteuid() != 0) return fail("not root");
    if (ResolveProgram("ip").find('/') == std::string::npos) return fail("no `ip` command");
    ::mkdir(kNetnsDir, 0755);
    std::unique_ptr<NetnsLab> lab(new NetnsLab());

    // Sweep "qvx<pid>-..." namespaces whose process is gone (a crashed run).
    if (DIR* dir = ::opendir(kNetnsDir)) {
        std::vector<std::string> stale;
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            char* end = nullptr;
            const long pid =
                name.rfind("qvx", 0) == 0 ? std::strtol(name.c_str() + 3, &end, 10) : 0;
            if (pid <= 0 || *end != '-' || pid == ::getpid()) continue;
            if (::kill(pid_t(pid), 0) != 0 && errno != EPERM) stale.push_back(name);
        }
        ::closedir(dir);
        for (const auto& name : stale) lab->Ip({"netns", "delete", name});
    }

    lab->prefix_ = "qvx" + std::to_string(::getpid()) + "-" + std::to_string(g_lab_counter++) + "-";
    lab->pc_ = lab->prefix_ + "pc";
    if (!lab->Ip({"netns", "add", lab->pc_})) return fail("ip netns add: " + lab->last_error_);
    lab->namespaces_.push_back(lab->pc_);
    if (!lab->Ip({"link", "set", "lo", "up"}, lab->pc_)) return fail("lo up: " + lab->last_error_);
    char scratch[] = "/tmp/qvx-lab-XXXXXX";
    if (::mkdtemp(scratch) == nullptr) return fail("no scratch directory");
    lab->scratch_ = scratch;
    return lab;
}

NetnsLab::~NetnsLab() {
    for (pid_t pid : spawned_) {
        if (::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    if (saved_ns_fd_ >= 0) {
        if (pid_t(::syscall(SYS_gettid)) == entered_tid_) ::setns(saved_ns_fd_, CLONE_NEWNET);
        ::close(saved_ns_fd_);
    }
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it)
        Ip({"netns", "delete", *it});
    std::error_code ec;
    if (!scratch_.empty()) std::filesystem::remove_all(scratch_, ec);
}

bool NetnsLab::Ip(const std::vector<std::string>& args, const std::string& ns) {
    std::vector<std::string> argv = {"ip"};
    if (!ns.empty()) argv.insert(argv.end(), {"-n", ns});
    argv.insert(argv.end(), args.begin(), args.end());
    std::string err;
    const int status = Run("", argv, nullptr, &err);
    if (status == 0) return true;
    last_error_.clear();
    for (const auto& a : argv) last_error_ += a + " ";
    last_error_ += "-> " + std::to_string(status) + ": " + err;
    return false;
}

std::string NetnsLab::AddSite(const std::string& site, const std::string& pc_cidr,
                              const std::string& site_cidr, const std::string& pc_gateway) {
    if (site.empty() || site == "pc" || !At(site).ns.empty()) {
        last_error_ = "bad or taken site name";
        return "";
    }
    // Interface names are at most 15 characters; a running number keeps the
    // PC-side names distinct whatever the site names are.
    const Site s{site, prefix_ + site,
                 ("v" + std::to_string(sites_.size()) + "-" + site).substr(0, 15), "eth0"};
    if (!Ip({"netns", "add", s.ns})) return "";
    namespaces_.push_back(s.ns);
    // Both ends are made inside the lab's namespaces: the machine's own
    // namespace never sees them, even for a moment.
    const bool ok =
        Ip({"link", "add", s.pc_if, "type", "veth", "peer", "name", s.site_if, "netns", s.ns},
           pc_) &&
        Ip({"link", "set", "lo", "up"}, s.ns) &&
        Ip({"addr", "add", pc_cidr, "dev", s.pc_if}, pc_) &&
        Ip({"addr", "add", site_cidr, "dev", s.site_if}, s.ns) &&
        Ip({"link", "set", s.pc_if, "up"}, pc_) && Ip({"link", "set", s.site_if, "up"}, s.ns) &&
        (pc_gateway.empty() || Ip({"route", "add", "default", "via", pc_gateway}, pc_));
    if (!ok) return "";
    sites_.push_back(s);
    return s.pc_if;
}

bool NetnsLab::AddAddress(const std::string& ns, const std::string& interface,
                          const std::string& cidr) {
    return Ip({"addr", "add", cidr, "dev", interface}, ns);
}

NetnsLab::Site NetnsLab::At(const std::string& site) const {
    for (const auto& s : sites_)
        if (s.name == site) return s;
    return {};
}

void NetnsLab::EnterPc() {
    const int target = OpenNamespace(pc_);
    if (target < 0) return;
    if (saved_ns_fd_ < 0) {
        saved_ns_fd_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        entered_tid_ = pid_t(::syscall(SYS_gettid));
    }
    ::setns(target, CLONE_NEWNET);
    ::close(target);
}

bool NetnsLab::RunIn(const std::string& ns, const std::function<void()>& work) {
    const int target = OpenNamespace(ns);
    if (target < 0) return false;
    bool entered = false;
    std::thread([&] {
        entered = ::setns(target, CLONE_NEWNET) == 0;
        if (entered) work();
    }).join();
    ::close(target);
    return entered;
}

ChildProcess NetnsLab::Spawn(const std::string& ns, const std::vector<std::string>& argv,
                             const std::string& stdout_file, const std::string& stderr_file) {
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = OpenForWriting(stdout_file), err = OpenForWriting(stderr_file);
    const pid_t pid = Launch(ns, argv, {in, out, err});
    for (int fd : {in, out, err})
        if (fd >= 0) ::close(fd);
    if (pid < 0) return ChildProcess();
    spawned_.push_back(pid);
    return ChildProcess(pid);
}

int NetnsLab::Run(const std::string& ns, const std::vector<std::string>& argv, std::string* out,
                  std::string* err, const std::string& stdin_text,
                  std::chrono::milliseconds deadline) {
    if (out) out->clear();
    if (err) err->clear();
    // Unlinked files rather than pipes: the child never blocks on output not
    // yet read, and its input is all there from the start.
    const int fds[3] = {::memfd_create("in", MFD_CLOEXEC), ::memfd_create("out", MFD_CLOEXEC),
                        ::memfd_create("err", MFD_CLOEXEC)};
    int status = -1;
    if (fds[0] >= 0 && fds[1] >= 0 && fds[2] >= 0 &&
        ::write(fds[0], stdin_text.data(), stdin_text.size()) == ssize_t(stdin_text.size()) &&
        ::lseek(fds[0], 0, SEEK_SET) == 0) {
        ChildProcess child(Launch(ns, argv, {fds[0], fds[1], fds[2]}));
        status = child.Wait(deadline);
        if (status < 0) child.Stop(SIGKILL);
        if (out) *out = ReadAll(fds[1]);
        if (err) *err = ReadAll(fds[2]);
    }
    for (int fd : fds)
        if (fd >= 0) ::close(fd);
    return status;
}

std::unique_ptr<Simulator> Simulator::Start(NetnsLab& lab, const std::string& ns,
                                            const std::vector<std::string>& args,
                                            std::string* why) {
    std::unique_ptr<Simulator> sim(new Simulator());
    const std::string base = lab.scratch_dir() + "/sim" + std::to_string(g_sim_counter++);
    const std::string ready = base + ".ready";
    sim->log_ = base + ".log";
    sim->stderr_ = base + ".err";
    std::vector<std::string> argv = {SimulatorPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--ready-file", ready, "--log", sim->log_});
    sim->process_ = lab.Spawn(ns, argv, "", sim->stderr_);
    WaitUntil([&] { return std::filesystem::exists(ready) || !sim->process_.Running(); });
    if (std::filesystem::exists(ready)) return sim;
    if (why) {
        std::stringstream text;
        text << std::ifstream(sim->stderr_).rdbuf();
        *why = "simulator did not get ready: " + text.str();
    }
    return nullptr;
}

std::vector<LoggedDatagram> Simulator::ReadLog() const {
    std::vector<LoggedDatagram> entries;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
        // A line still being written does not parse yet.
        const auto entry = nlohmann::json::parse(line, nullptr, false);
        if (entry.is_discarded()) continue;
        LoggedDatagram d;
        d.time = entry.value("time", 0.0);
        d.interface = entry.value("interface", "");
        d.source = entry.value("source", "");
        d.destination_port = entry.value<std::uint16_t>("destination_port", 0);
        for (auto [field, key] : {std::pair{&d.camera, "camera"},
                                  {&d.address, "address"},
                                  {&d.operation, "operation"},
                                  {&d.auth, "auth"},
                                  {&d.result, "result"}})
            *field = entry.value(key, "");
        const std::string hex = entry.value("hex", "");
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            d.bytes.push_back(std::uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
        entries.push_back(std::move(d));
    }
    return entries;
}

std::size_t Simulator::WaitForLog(const std::function<bool(const LoggedDatagram&)>& match,
                                  std::size_t count, std::chrono::milliseconds deadline) const {
    std::size_t found = 0;
    WaitUntil(
        [&] {
            found = 0;
            for (const auto& d : ReadLog()) found += match(d) ? 1 : 0;
            return found >= count;
        },
        deadline);
    return found;
}

std::string SimulatorPath() {
#ifdef QUORVEX_SIM_PATH
    return QUORVEX_SIM_PATH;
#else
    return "quorvex-sim";
#endif
}

bool NetnsRequired() {
    const char* value = std::getenv("QUORVEX_REQUIRE_NETNS");
    return value != nullptr && std::string(value) == "1";
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace quorvex::testing
