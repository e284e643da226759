// tesseron-cli as a user runs it: the real binary against loopback servers.
#include "support/FakeServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tesseron::test;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Outcome RunCli(const std::vector<std::string>& args) {
    const std::string exe = TESSERON_BINARY_DIR "/tesseron-cli";
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    Outcome r;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, 20000) <= 0) break; // the test fails on the exit code below
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[65536];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) {
            ::close(f.fd);
            ::kill(pid, SIGKILL);
        }
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::string Server(const FakeWhoisServer& s) {
    return "127.0.0.1:" + std::to_string(s.port());
}

// Errors are one sentence on one line, named after the program.
void ExpectOneSentence(const std::string& err) {
    EXPECT_EQ(err.rfind("tesseron-cli: ", 0), 0u) << err;
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(err.back(), '\n') << err;
}

TEST(CliExchange, AnswerBytesGoToStdoutExactly) {
    const std::string answer("Domain Name: EXAMPLE.COM\r\n\0\x01\xff tail\n", 33);
    FakeWhoisServer server(WhoisBehaviour::Answer(answer));
    const auto r = RunCli({"--server", Server(server), "example.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, answer);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"example.com\r\n"});
}

TEST(CliExchange, FailuresExitWithOneAndOneSentence) {
    struct Case {
        const char* name;
        WhoisBehaviour behaviour;
        std::vector<std::string> extra;
    };
    const Case cases[] = {
        {"silent past the time-out", WhoisBehaviour::Silent(), {"--timeout", "200"}},
        {"part then silent", WhoisBehaviour::PartThenSilent("partial"), {"--timeout", "200"}},
        {"reset", WhoisBehaviour::PartThenReset("partial"), {}},
    };
    for (const auto& c : cases) {
        FakeWhoisServer server(c.behaviour);
        std::vector<std::string> args{"--server", Server(server)};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.push_back("example.com");
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name << ": nothing of a failed answer is printed";
        ExpectOneSentence(r.err);
    }
}

TEST(CliExchange, EmptyAnswerIsSuccess) {
    FakeWhoisServer server(WhoisBehaviour::Close());
    const auto r = RunCli({"--server", Server(server), "--timeout", "0", "x.test"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(CliExchange, RefusedConnectionFails) {
    int port;
    {
        FakeWhoisServer gone;
        port = gone.port();
    }
    const auto r = RunCli({"--server", "127.0.0.1:" + std::to_string(port), "example.com"});
    EXPECT_EQ(r.exitCode, 1);
    ExpectOneSentence(r.err);
}

TEST(CliExchange, ThroughEachKindOfProxy) {
    struct Case {
        const char* scheme;
        SocksScript script;
        const char* userInfo;
    };
    FakeWhoisServer whois(WhoisBehaviour::Respond([](const std::string& q) { return "A:" + q; }));
    const Case cases[] = {
        {"socks4", SocksScript::Socks4Granted(whois.port()), ""},
        {"socks4a", SocksScript::Socks4Granted(whois.port()), "me@"},
        {"socks5", SocksScript::Socks5Granted(whois.port(), false), ""},
        {"socks5", SocksScript::Socks5Granted(whois.port(), true), "us%3Aer:p%40ss@"},
    };
    for (const auto& c : cases) {
        FakeSocksProxy proxy(c.script);
        const auto r = RunCli({"--proxy",
                               std::string(c.scheme) + "://" + c.userInfo +
                                   "127.0.0.1:" + std::to_string(proxy.port()),
                               "--server", "localhost:" + std::to_string(whois.port()), "q.test"});
        EXPECT_EQ(r.exitCode, 0) << c.scheme << ": " << r.err;
        EXPECT_EQ(r.out, "A:q.test") << c.scheme;
        ASSERT_EQ(proxy.Requests().size(), 1u) << c.scheme;
        if (std::string(c.userInfo) == "us%3Aer:p%40ss@") {
            EXPECT_EQ(proxy.Requests()[0][1], std::string("\x01\x05us:er\x04p@ss", 12));
        }
    }
}

TEST(CliUsage, BadCommandLinesExitWith64) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"example.com"},
        {"--server"},
        {"--server", "host:0", "q"},
        {"--server", "host:70000", "q"},
        {"--server", ":43", "q"},
        {"--server", "h", "--timeout", "-1", "q"},
        {"--server", "h", "--timeout", "soon", "q"},
        {"--server", "h", "--proxy", "http://p:1", "q"},
        {"--server", "h", "--proxy", "socks4://u:pw@p:1", "q"},
        {"--server", "h", "--bogus", "q"},
        {"--server", "h", "one", "two"},
        {"--servers", "--server", "h", "x"},
        {"--servers"},
    };
    for (const auto& args : cases) {
        const auto r = RunCli(args);
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_EQ(r.exitCode, 64) << joined;
        EXPECT_EQ(r.out, "") << joined;
        ExpectOneSentence(r.err);
    }
}

TEST(CliUsage, HelpAndVersion) {
    const auto help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--servers"), std::string::npos);
    const auto v = RunCli({"--version"});
    EXPECT_EQ(v.out, "Tesseron 1.0.1.123\n");
}

const char* kList = R"(<?xml version="1.0" encoding="UTF-8"?>
<whois>
  <domains>
    <z>
      <suffix>.example</suffix>
      <servers>
        <s><address>whois.example</address><whois_prefix>-T dn </whois_prefix></s>
        <s><address>backup.example</address></s>
      </servers>
      <domains>
        <z><suffix>.co.example</suffix>
           <servers><s><address>co.whois.example</address></s></servers></z>
      </domains>
    </z>
    <z><suffix>.empty</suffix></z>
    <z><suffix>ip</suffix><servers><s><address>rir.test</address></s></servers></z>
  </domains>
</whois>
)";

TEST(CliServers, ListsTheZoneServersInOrder) {
    TempDir dir;
    const auto list = dir.Write("whois.xml", kList).string();
    struct Case {
        const char* text;
        int exitCode;
        const char* out;
    };
    const Case cases[] = {
        {"A.Example", 0, "whois.example\t-T dn \nbackup.example\t\n"},
        {"www.co.example", 0, "co.whois.example\t\n"},
        {"ip", 0, "rir.test\t\n"},
        {"x.empty", 2, ""},
        {"nothing.zz", 2, ""},
    };
    for (const auto& c : cases) {
        const auto r = RunCli({"--servers", "--server-list", list, c.text});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.text << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.text;
        if (c.exitCode != 0) ExpectOneSentence(r.err);
    }
}

TEST(CliServers, BrokenListsAreReportedNotCrashedOn) {
    TempDir dir;
    const std::pair<const char*, std::string> cases[] = {
        {"missing", ""},
        {"truncated", std::string(kList).substr(0, 200)},
        {"binary", std::string("\x7f\x45\x4c\x46\0\0\x01\x02\xff\xfe", 10)},
        {"unclosed set", "<w><domains><z><suffix>.[ab</suffix></z></domains></w>"},
    };
    for (const auto& [name, content] : cases) {
        const auto path = dir / name;
        if (std::string(name) != "missing") dir.Write(name, content);
        const auto r = RunCli({"--servers", "--server-list", path.string(), "a.example"});
        EXPECT_EQ(r.exitCode, 2) << name;
        ExpectOneSentence(r.err);
    }
}

TEST(CliServers, ReadsTheProgramsOwnListByDefault) {
    const auto r = RunCli({"--servers", "example.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find('\t'), std::string::npos);
}

} // namespace
