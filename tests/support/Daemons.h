#pragma once

#include "support/Process.h"
#include "support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tesseron::test {

// Asks the kernel for a port that is free on 127.0.0.1 right now. The port is released
// at once so that a daemon started next can bind it; callers retry if somebody else wins.
int FreeLoopbackPort();

// Fails with a message naming the Debian package to install when `program` is missing.
void RequireProgram(const std::filesystem::path& program, const std::string& debianPackage);

// microsocks: SOCKS 5, optionally with user name and password.
class MicrosocksDaemon {
public:
    MicrosocksDaemon(std::string userName = {}, std::string password = {});
    int port() const noexcept { return port_; }

private:
    TempDir dir_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// danted: SOCKS 4 and 5 without authentication, internal and external 127.0.0.1,
// clients and destinations limited to 127.0.0.0/8. Connections to `blockedPort` (if not
// 0) are refused by a socks block rule.
class DanteDaemon {
public:
    explicit DanteDaemon(int blockedPort = 0);
    int port() const noexcept { return port_; }

private:
    TempDir dir_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// OpenSSH dynamic forwarding (SOCKS 4, 4A and 5): our own sshd on loopback with fresh
// keys in a temporary folder, and `ssh -N -D` logged in to it as the current user.
class SshDynamicForward {
public:
    SshDynamicForward();
    int port() const noexcept { return socksPort_; }

private:
    // Declaration order matters: ssh goes before sshd, the folder goes last.
    TempDir dir_;
    int sshdPort_ = 0;
    int socksPort_ = 0;
    std::unique_ptr<ChildProcess> sshd_;
    std::unique_ptr<ChildProcess> ssh_;
};

// openssl s_server -WWW on 127.0.0.1: serves the files of `root()` over HTTPS with a
// certificate for 127.0.0.1 made for this server alone. `caFile()` is that certificate,
// the one thing a client must trust to reach it.
class TlsFileServer {
public:
    TlsFileServer();
    int port() const noexcept { return port_; }
    std::filesystem::path root() const { return dir_ / "www"; }
    std::filesystem::path caFile() const { return dir_ / "cert.pem"; }
    std::string Url(const std::string& fileName) const;

private:
    TempDir dir_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace tesseron::test
