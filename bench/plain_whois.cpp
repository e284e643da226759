// The reference for whole-process timings: the least a WHOIS query program does.
// plain_whois HOST-IPV4 PORT QUERY: connect, send the query with CR LF, copy the answer
// to standard output until the server closes.
#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4) return 64;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &sa.sin_addr) != 1) return 64;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return 1;
    const std::string line = std::string(argv[3]) + "\r\n";
    if (send(fd, line.data(), line.size(), 0) != static_cast<ssize_t>(line.size())) return 1;
    char buf[65536];
    for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;)
        if (write(1, buf, static_cast<size_t>(n)) != n) return 1;
    close(fd);
    return 0;
}
