#pragma once

#include "query/WhoisExchange.h"

#include <initializer_list>
#include <string>

namespace tesseron::test {

// Limits long enough that a loopback exchange never hits them unless a test means it to.
inline ExchangeLimits Limits(int readTimeoutMs = 3000) {
    ExchangeLimits l;
    l.readTimeoutMs = readTimeoutMs;
    l.connectTimeoutMs = 3000;
    l.handshakeTimeoutMs = 3000;
    return l;
}

// Raw protocol bytes written as numbers, for the SOCKS handshakes tests expect.
inline std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

} // namespace tesseron::test
