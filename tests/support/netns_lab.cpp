#include "tests/support/netns_lab.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace quorvex::testing {

namespace {

constexpr const char* kNetnsDir = "/run/netns";

std::atomic<int> g_lab_counter{0};
std::atomic<int> g_sim_counter{0};

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// PATH lookup done before fork: the child should only call async-signal-safe
// functions between fork and exec.
std::string ResolveProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/sbin:/usr/bin:/sbin:/bin";
    std::stringstream in(dirs);
    std::string dir;
    while (std::getline(in, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    for (const char* fallback : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        const std::string candidate = fallback + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return name;
}

int OpenNamespace(const std::string& ns) {
    if (ns.empty()) return -1;
    const std::string path = std::string(kNetnsDir) + "/" + ns;
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

struct ExecPlan {
    std::string program;
    std::vector<std::string> args;
    std::vector<char*> argv;
    int ns_fd = -1;
    bool ns_wanted = false;

    ExecPlan(const std::string& ns, const std::vector<std::string>& in) : args(in) {
        if (!args.empty()) program = ResolveProgram(args[0]);
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ns_wanted = !ns.empty();
        ns_fd = OpenNamespace(ns);
    }
    ~ExecPlan() {
        if (ns_fd >= 0) ::close(ns_fd);
    }
    bool usable() const { return !args.empty() && (!ns_wanted || ns_fd >= 0); }

    // In the child, after fork: enter the namespace and exec; never returns.
    [[noreturn]] void ExecInChild(pid_t parent) const {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        if (ns_fd >= 0 && ::setns(ns_fd, CLONE_NEWNET) != 0) ::_exit(126);
        // The parent may block signals on its threads; a child must not
        // inherit that, or SIGTERM would never stop it.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
};

void RedirectToFile(const std::string& path, int target) {
    if (path.empty()) return;
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out >= 0) {
        ::dup2(out, target);
        ::close(out);
    }
}

bool ProcessAlive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

void RemoveStaleNamespaces() {
    DIR* dir = ::opendir(kNetnsDir);
    if (!dir) return;
    std::vector<std::string> stale;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.rfind("qvx", 0) != 0) continue;
        std::size_t at = 3;
        pid_t pid = 0;
        while (at < name.size() && name[at] >= '0' && name[at] <= '9') {
            pid = pid * 10 + (name[at] - '0');
            ++at;
        }
        if (at == 3 || at >= name.size() || name[at] != '-') continue;
        if (pid == ::getpid() || ProcessAlive(pid)) continue;
        stale.push_back(name);
    }
    ::closedir(dir);
    for (const auto& name : stale) {
        std::vector<std::string> argv = {"ip", "netns", "delete", name};
        ExecPlan plan("", argv);
        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            if (devnull >= 0) {
                ::dup2(devnull, 1);
                ::dup2(devnull, 2);
            }
            plan.ExecInChild(parent);
        }
        if (pid > 0) ::waitpid(pid, nullptr, 0);
    }
}

std::string JsonString(const std::string& line, const std::string& key) {
    const std::string tag = "\"" + key + "\":\"";
    const std::size_t at = line.find(tag);
    if (at == std::string::npos) return {};
    std::string value;
    for (std::size_t i = at + tag.size(); i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value.push_back(line[i]);
    }
    return value;
}

double JsonNumber(const std::string& line, const std::string& key) {
    const std::string tag = "\"" + key + "\":";
    const std::size_t at = line.find(tag);
    if (at == std::string::npos) return 0;
    return std::strtod(line.c_str() + at + tag.size(), nullptr);
}

std::vector<std::uint8_t> FromHex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

}  // namespace

// ---------------------------------------------------------------- ChildProcess

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), status_(other.status_) {
    other.pid_ = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Stop();
        pid_ = other.pid_;
        status_ = other.status_;
        other.pid_ = -1;
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
    if (r == pid_) {
        status_ = DecodeStatus(status);
        return false;
    }
    // ECHILD: someone else (the lab's destructor) already reaped it.
    if (r < 0) {
        status_ = 128 + SIGKILL;
        return false;
    }
    return true;
}

int ChildProcess::Wait(std::chrono::milliseconds deadline) {
    if (pid_ <= 0) return -1;
    WaitUntil([this] { return !Running(); }, deadline);
    return status_;
}

int ChildProcess::Stop(int signal, std::chrono::milliseconds grace) {
    if (pid_ <= 0) return -1;
    if (Running()) {
        ::kill(pid_, signal);
        if (!WaitUntil([this] { return !Running(); }, grace)) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            if (::waitpid(pid_, &status, 0) == pid_) status_ = DecodeStatus(status);
        }
    }
    return status_;
}

// -------------------------------------------------------------------- NetnsLab

std::unique_ptr<NetnsLab> NetnsLab::Create(std::string* why) {
    auto fail = [why](const std::string& text) -> std::unique_ptr<NetnsLab> {
        if (why) *why = text;
        return nullptr;
    };
    if (::geteuid() != 0) return fail("not root");
    if (ResolveProgram("ip").find('/') == std::string::npos) return fail("no `ip` command");
    ::mkdir(kNetnsDir, 0755);
    RemoveStaleNamespaces();

    std::unique_ptr<NetnsLab> lab(new NetnsLab());
    lab->prefix_ = "qvx" + std::to_string(::getpid()) + "-" + std::to_string(g_lab_counter++) + "-";
    lab->pc_ = lab->prefix_ + "pc";
    if (!lab->Ip({"netns", "add", lab->pc_})) return fail("ip netns add: " + lab->last_error_);
    lab->namespaces_.push_back(lab->pc_);
    if (!lab->IpIn(lab->pc_, {"link", "set", "lo", "up"})) {
        return fail("lo up: " + lab->last_error_);
    }
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
        if (static_cast<pid_t>(::syscall(SYS_gettid)) == entered_tid_) {
            ::setns(saved_ns_fd_, CLONE_NEWNET);
        }
        ::close(saved_ns_fd_);
    }
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it)
        Ip({"netns", "delete", *it});
    if (!scratch_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(scratch_, ec);
    }
}

bool NetnsLab::Ip(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"ip"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string err;
    const int status = Run("", argv, nullptr, &err);
    if (status == 0) return true;
    std::string command;
    for (const auto& a : argv) command += a + " ";
    last_error_ = command + "-> " + std::to_string(status) + ": " + err;
    return false;
}

bool NetnsLab::IpIn(const std::string& ns, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"-n", ns};
    argv.insert(argv.end(), args.begin(), args.end());
    return Ip(argv);
}

std::string NetnsLab::AddSite(const std::string& site, const std::string& pc_cidr,
                              const std::string& site_cidr, const std::string& pc_gateway) {
    if (site.empty() || site == "pc") {
        last_error_ = "bad site name";
        return "";
    }
    for (const auto& s : sites_) {
        if (s.name == site) {
            last_error_ = "site exists";
            return "";
        }
    }
    Site s;
    s.name = site;
    s.ns = prefix_ + site;
    // Interface names are at most 15 characters; a running number keeps the
    // PC-side names distinct whatever the site names are.
    s.pc_if = ("v" + std::to_string(next_link_++) + "-" + site).substr(0, 15);
    s.site_if = "eth0";
    if (!Ip({"netns", "add", s.ns})) return "";
    namespaces_.push_back(s.ns);
    // Both ends are created straight inside the lab's namespaces, so the
    // machine's own namespace never sees them, even for a moment.
    if (!IpIn(pc_,
              {"link", "add", s.pc_if, "type", "veth", "peer", "name", s.site_if, "netns", s.ns}))
        return "";
    if (!IpIn(s.ns, {"link", "set", "lo", "up"})) return "";
    if (!IpIn(pc_, {"addr", "add", pc_cidr, "dev", s.pc_if})) return "";
    if (!IpIn(s.ns, {"addr", "add", site_cidr, "dev", s.site_if})) return "";
    if (!IpIn(pc_, {"link", "set", s.pc_if, "up"})) return "";
    if (!IpIn(s.ns, {"link", "set", s.site_if, "up"})) return "";
    if (!pc_gateway.empty() && !IpIn(pc_, {"route", "add", "default", "via", pc_gateway}))
        return "";
    sites_.push_back(s);
    return s.pc_if;
}

bool NetnsLab::AddAddress(const std::string& ns, const std::string& interface,
                          const std::string& cidr) {
    return IpIn(ns, {"addr", "add", cidr, "dev", interface});
}

std::string NetnsLab::site_namespace(const std::string& site) const {
    for (const auto& s : sites_)
        if (s.name == site) return s.ns;
    return "";
}

std::string NetnsLab::site_interface(const std::string& site) const {
    for (const auto& s : sites_)
        if (s.name == site) return s.site_if;
    return "";
}

std::string NetnsLab::pc_interface(const std::string& site) const {
    for (const auto& s : sites_)
        if (s.name == site) return s.pc_if;
    return "";
}

void NetnsLab::EnterPc() {
    const int target = OpenNamespace(pc_);
    if (target < 0) return;
    if (saved_ns_fd_ < 0) {
        saved_ns_fd_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        entered_tid_ = static_cast<pid_t>(::syscall(SYS_gettid));
    }
    ::setns(target, CLONE_NEWNET);
    ::close(target);
}

bool NetnsLab::RunIn(const std::string& ns, const std::function<void()>& work) {
    const int target = OpenNamespace(ns);
    if (target < 0) return false;
    bool entered = false;
    std::thread worker([&] {
        entered = ::setns(target, CLONE_NEWNET) == 0;
        if (entered) work();
    });
    worker.join();
    ::close(target);
    return entered;
}

ChildProcess NetnsLab::Spawn(const std::string& ns, const std::vector<std::string>& argv,
                             const std::string& stdout_file, const std::string& stderr_file) {
    ExecPlan plan(ns, argv);
    if (!plan.usable()) return ChildProcess();
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0) ::dup2(devnull, 0);
        RedirectToFile(stdout_file, 1);
        RedirectToFile(stderr_file, 2);
        plan.ExecInChild(parent);
    }
    if (pid < 0) return ChildProcess();
    spawned_.push_back(pid);
    return ChildProcess(pid);
}

int NetnsLab::Run(const std::string& ns, const std::vector<std::string>& argv, std::string* out,
                  std::string* err, const std::string& stdin_text,
                  std::chrono::milliseconds deadline) {
    if (out) out->clear();
    if (err) err->clear();
    ExecPlan plan(ns, argv);
    if (!plan.usable()) return -1;
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0) return -1;
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
        ::close(in_pipe[0]);
        ::close(in_pipe[1]);
        return -1;
    }
    if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1]}) ::close(fd);
        return -1;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in_pipe[0], 0);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        plan.ExecInChild(parent);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    if (pid < 0) {
        for (int fd : {in_pipe[1], out_pipe[0], err_pipe[0]}) ::close(fd);
        return -1;
    }

    // One poll loop feeds standard input and drains both outputs, so a child
    // that writes a lot before reading never deadlocks against us.
    int in_fd = in_pipe[1];
    if (stdin_text.empty()) {
        ::close(in_fd);
        in_fd = -1;
    } else {
        ::fcntl(in_fd, F_SETFL, O_NONBLOCK);
    }
    std::size_t written = 0;
    int fds[2] = {out_pipe[0], err_pipe[0]};
    std::string* sinks[2] = {out, err};
    const auto end = std::chrono::steady_clock::now() + deadline;
    bool timed_out = false;
    while (fds[0] >= 0 || fds[1] >= 0 || in_fd >= 0) {
        pollfd p[3];
        int n = 0;
        for (int fd : {fds[0], fds[1]}) {
            if (fd >= 0) p[n++] = {fd, POLLIN, 0};
        }
        if (in_fd >= 0) p[n++] = {in_fd, POLLOUT, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timed_out = true;
            break;
        }
        if (::poll(p, n, static_cast<int>(std::min<long long>(left.count(), 1000))) < 0 &&
            errno != EINTR) {
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (p[i].revents == 0) continue;
            if (p[i].fd == in_fd) {
                const ssize_t w =
                    ::write(in_fd, stdin_text.data() + written, stdin_text.size() - written);
                if (w > 0) written += static_cast<std::size_t>(w);
                if (w < 0 && errno != EAGAIN) written = stdin_text.size();
                if (written >= stdin_text.size()) {
                    ::close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            const int which = p[i].fd == fds[0] ? 0 : 1;
            char buffer[4096];
            const ssize_t r = ::read(fds[which], buffer, sizeof buffer);
            if (r > 0) {
                if (sinks[which]) sinks[which]->append(buffer, static_cast<std::size_t>(r));
            } else if (r == 0 || errno != EINTR) {
                ::close(fds[which]);
                fds[which] = -1;
            }
        }
    }
    for (int fd : {in_fd, fds[0], fds[1]}) {
        if (fd >= 0) ::close(fd);
    }
    if (timed_out) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return timed_out ? -1 : DecodeStatus(status);
}

// ------------------------------------------------------------------- Simulator

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
    const bool up =
        WaitUntil([&] { return std::filesystem::exists(ready) || !sim->process_.Running(); });
    if (!up || !std::filesystem::exists(ready)) {
        if (why) {
            std::ifstream in(sim->stderr_);
            std::stringstream text;
            text << in.rdbuf();
            *why = "simulator did not get ready: " + text.str();
        }
        return nullptr;
    }
    return sim;
}

std::vector<LoggedDatagram> Simulator::ReadLog() const {
    std::vector<LoggedDatagram> entries;
    std::ifstream in(log_);
    std::string line;
    while (std::getline(in, line)) {
        // The simulator writes whole lines; a line still being written has
        // no closing brace yet.
        if (line.empty() || line.back() != '}') continue;
        LoggedDatagram d;
        d.time = JsonNumber(line, "time");
        d.interface = JsonString(line, "interface");
        d.source = JsonString(line, "source");
        d.destination_port = static_cast<std::uint16_t>(JsonNumber(line, "destination_port"));
        d.bytes = FromHex(JsonString(line, "hex"));
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
            for (const auto& d : ReadLog())
                if (match(d)) ++found;
            return found >= count;
        },
        deadline);
    return found;
}

// ------------------------------------------------------------------ helpers

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
    while (true) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace quorvex::testing
