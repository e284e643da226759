#include "query/Resolver.h"

#include "query/AbortHandle.h"
#include "query/AddressBox.h"
#include "query/RunOffThread.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>

namespace tesseron {
namespace {

int AbortFd(const AbortHandle* abort) {
    return abort ? abort->fd() : -1;
}

} // namespace

std::string ResolveAddress(const std::string& name, const AbortHandle* abort) {
    if (name.empty() || name.size() >= 256 || name.find('\0') != std::string::npos ||
        !FitsHostName(name))
        return {};
    const auto r = ResolveIPv4(name, AbortFd(abort));
    if (r.status != ResolveStatus::Ok) return {};
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &r.address, text, sizeof text) ? std::string(text) : std::string();
}

std::string ResolveReverseName(const std::string& address, const AbortHandle* abort) {
    sockaddr_storage sa{};
    socklen_t size = 0;
    if (const auto bytes = ParseIPAddress(address)) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        std::memcpy(&in.sin_addr, bytes->data(), 4);
        size = sizeof in;
        std::memcpy(&sa, &in, size);
    } else {
        // An IPv6 literal, with or without brackets; anything else names no address.
        std::string literal = address;
        if (literal.size() > 2 && literal.front() == '[' && literal.back() == ']')
            literal = literal.substr(1, literal.size() - 2);
        sockaddr_in6 in6{};
        if (inet_pton(AF_INET6, literal.c_str(), &in6.sin6_addr) != 1) return {};
        in6.sin6_family = AF_INET6;
        size = sizeof in6;
        std::memcpy(&sa, &in6, size);
    }
    const auto name = RunOffThread<std::string>(
        [sa, size]() {
            char host[NI_MAXHOST] = {};
            if (getnameinfo(reinterpret_cast<const sockaddr*>(&sa), size, host, sizeof host,
                            nullptr, 0, NI_NAMEREQD) != 0)
                return std::string();
            return std::string(host);
        },
        AbortFd(abort));
    return name.value_or(std::string());
}

} // namespace tesseron
