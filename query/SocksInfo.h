#pragma once

#include <cstdint>
#include <string>

namespace tesseron {

// The SOCKS proxy of the settings as plain values, copied when a run or a download starts.
struct SocksInfo {
    uint8_t version = 0; // 0 none, 1 SOCKS 4, 2 SOCKS 4A, 3 SOCKS 5; others: none
    std::string host;
    int port = 1080;
    uint8_t authentication = 0; // 0 none, 1 user name and password
    std::string userName;       // SOCKS 5 user name; SOCKS 4 and 4A user id
    std::string password;
};

} // namespace tesseron
