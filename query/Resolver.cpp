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
    const auto bytes = ParseIPAddress(address);
    if (!bytes) return {};
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_addr, bytes->data(), 4);
    const auto name = RunOffThread<std::string>(
        [sa]() {
            char host[NI_MAXHOST] = {};
            if (getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host,
                            nullptr, 0, NI_NAMEREQD) != 0)
                return std::string();
            return std::string(host);
        },
        AbortFd(abort));
    return name.value_or(std::string());
}

} // namespace tesseron
