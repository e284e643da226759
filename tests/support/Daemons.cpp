#include "support/Daemons.h"

#include "desktop/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tesseron::test {

namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 10s;

using Fd = tesseron::UniqueFd;

std::string CurrentUserName() {
    const passwd* pw = ::getpwuid(::geteuid());
    if (!pw || !pw->pw_name)
        throw std::runtime_error("cannot find the name of user id " + std::to_string(::geteuid()));
    return pw->pw_name;
}

// Starts a daemon on a fresh free port. The port is probed free just before the start;
// when another process takes it in between, the daemon exits and we try another one.
template <class Start> std::unique_ptr<ChildProcess> StartOnFreePort(int& port, Start start) {
    for (int attempt = 1;; ++attempt) {
        port = FreeLoopbackPort();
        std::unique_ptr<ChildProcess> process = start(port);
        try {
            process->WaitListening(port, kStartTimeout);
            return process;
        } catch (const std::exception&) {
            if (attempt >= 3 || !process->Poll()) throw;
        }
    }
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

void RunToCompletion(const std::string& name, std::vector<std::string> argv,
                     const std::filesystem::path& log) {
    ChildProcess process(name, std::move(argv), log);
    if (int code = process.WaitExit(kStartTimeout); code != 0)
        throw std::runtime_error(name + " failed with exit code " + std::to_string(code) + ":\n" +
                                 process.Log());
}

} // namespace

int FreeLoopbackPort() {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in addr = Loopback(0);
    socklen_t len = sizeof addr;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error(std::string("cannot find a free loopback port: ") +
                                 std::strerror(errno));
    return ntohs(addr.sin_port);
}

void RequireProgram(const std::filesystem::path& program, const std::string& debianPackage) {
    if (::access(program.c_str(), X_OK) != 0)
        throw std::runtime_error(program.string() + " is missing: install the Debian package " +
                                 debianPackage + " (apt-get install " + debianPackage + ")");
}

TlsFileServer::TlsFileServer() {
    const std::filesystem::path program = "/usr/bin/openssl";
    RequireProgram(program, "openssl");
    std::filesystem::create_directory(root());
    const auto key = dir_ / "key.pem";
    // A self-signed certificate is its own authority, so trusting it as a CA file works.
    ChildProcess req("openssl req",
                     {program, "req", "-x509", "-newkey", "ec", "-pkeyopt",
                      "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", caFile(),
                      "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                      "subjectAltName=IP:127.0.0.1"},
                     dir_ / "req.log");
    if (req.WaitExit(kStartTimeout) != 0)
        throw std::runtime_error("openssl could not make a certificate:\n" + req.Log());
    process_ = StartOnFreePort(port_, [&](int port) {
        // -WWW serves names relative to the working folder and refuses "..".
        return std::make_unique<ChildProcess>(
            "openssl s_server",
            std::vector<std::string>{program, "s_server", "-WWW", "-accept",
                                     "127.0.0.1:" + std::to_string(port), "-cert", caFile(), "-key",
                                     key},
            dir_ / "s_server.log", root());
    });
}

std::string TlsFileServer::Url(const std::string& fileName) const {
    return "https://127.0.0.1:" + std::to_string(port_) + "/" + fileName;
}

MicrosocksDaemon::MicrosocksDaemon(std::string userName, std::string password) {
    const std::filesystem::path program = "/usr/bin/microsocks";
    RequireProgram(program, "microsocks");
    process_ = StartOnFreePort(port_, [&](int port) {
        // -b keeps the proxy's outgoing connections on loopback too.
        std::vector<std::string> argv{program, "-i",       "127.0.0.1", "-p", std::to_string(port),
                                      "-b",    "127.0.0.1"};
        if (!userName.empty()) argv.insert(argv.end(), {"-u", userName, "-P", password});
        return std::make_unique<ChildProcess>("microsocks", argv, dir_ / "microsocks.log");
    });
}

DanteDaemon::DanteDaemon(int blockedPort) {
    const std::filesystem::path program = "/usr/sbin/danted";
    RequireProgram(program, "dante-server");
    process_ = StartOnFreePort(port_, [&](int port) {
        std::string conf =
            Lines({"logoutput: stderr", "internal: 127.0.0.1 port = " + std::to_string(port),
                   "external: 127.0.0.1", "clientmethod: none", "socksmethod: none"});
        // As root dante wants user lines. It stays root: a change of user would cancel the
        // parent-death signal, and a crashed test program would leave dante running. It
        // serves 127.0.0.0/8 only, and only to 127.0.0.0/8.
        if (::geteuid() == 0) conf += "user.privileged: root\nuser.unprivileged: root\n";
        // dante's parser wants a line break after each address in a rule.
        conf += "client pass {\n from: 127.0.0.0/8 to: 127.0.0.0/8\n}\n";
        if (blockedPort != 0)
            conf += "socks block {\n from: 127.0.0.0/8 to: 127.0.0.0/8 port = " +
                    std::to_string(blockedPort) + "\n log: error\n}\n";
        conf += "socks pass {\n from: 127.0.0.0/8 to: 127.0.0.0/8\n command: connect\n"
                " protocol: tcp\n}\n";
        auto confFile = dir_.Write("danted.conf", conf);
        return std::make_unique<ChildProcess>(
            "danted", std::vector<std::string>{program, "-f", confFile, "-p", dir_ / "danted.pid"},
            dir_ / "danted.log");
    });
}

SshDynamicForward::SshDynamicForward() {
    const std::filesystem::path sshd = "/usr/sbin/sshd";
    const std::filesystem::path ssh = "/usr/bin/ssh";
    const std::filesystem::path keygen = "/usr/bin/ssh-keygen";
    RequireProgram(sshd, "openssh-server");
    RequireProgram(ssh, "openssh-client");
    RequireProgram(keygen, "openssh-client");

    const auto hostKey = dir_ / "host_key";
    const auto clientKey = dir_ / "client_key";
    for (const auto& key : {hostKey, clientKey})
        RunToCompletion("ssh-keygen",
                        {keygen, "-q", "-t", "ed25519", "-N", "", "-C", "tesseron-test", "-f", key},
                        dir_ / "ssh-keygen.log");
    const auto authorizedKeys =
        dir_.Write("authorized_keys", ReadFile(clientKey.string() + ".pub"));

    // sshd running as root refuses to start without its privilege separation folder.
    if (::geteuid() == 0 && !std::filesystem::exists("/run/sshd") &&
        ::mkdir("/run/sshd", 0755) != 0 && errno != EEXIST)
        throw std::runtime_error(std::string("cannot create /run/sshd: ") + std::strerror(errno));

    sshd_ = StartOnFreePort(sshdPort_, [&](int port) {
        auto config = dir_.Write(
            "sshd_config",
            Lines({"ListenAddress 127.0.0.1:" + std::to_string(port), "HostKey " + hostKey.string(),
                   "AuthorizedKeysFile " + authorizedKeys.string(),
                   "PidFile " + (dir_ / "sshd.pid").string(), "StrictModes no", "UsePAM no",
                   "PermitRootLogin prohibit-password", "PubkeyAuthentication yes",
                   "PasswordAuthentication no", "KbdInteractiveAuthentication no",
                   "AllowTcpForwarding yes", "X11Forwarding no", "PrintMotd no", "UseDNS no"}));
        return std::make_unique<ChildProcess>(
            "sshd", std::vector<std::string>{sshd, "-D", "-e", "-f", config}, dir_ / "sshd.log");
    });

    const std::string user = CurrentUserName();
    try {
        ssh_ = StartOnFreePort(socksPort_, [&](int port) {
            // -F none and the options below keep the user's own ssh files out of the way.
            std::vector<std::string> argv{ssh,    "-F",
                                          "none", "-N",
                                          "-D",   "127.0.0.1:" + std::to_string(port),
                                          "-i",   clientKey,
                                          "-p",   std::to_string(sshdPort_)};
            for (const char* option :
                 {"BatchMode=yes", "StrictHostKeyChecking=no", "UserKnownHostsFile=/dev/null",
                  "GlobalKnownHostsFile=/dev/null", "ExitOnForwardFailure=yes",
                  "IdentitiesOnly=yes", "IdentityAgent=none", "ConnectTimeout=10",
                  "LogLevel=ERROR"})
                argv.insert(argv.end(), {"-o", option});
            argv.push_back(user + "@127.0.0.1");
            return std::make_unique<ChildProcess>("ssh -D", argv, dir_ / "ssh.log");
        });
    } catch (const std::exception& e) {
        // A failed login is explained on the server's side.
        throw std::runtime_error(std::string(e.what()) + "\nsshd's output:\n" + sshd_->Log());
    }
}

} // namespace tesseron::test
