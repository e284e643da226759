#pragma once

#include "mainwin/Settings.h"
#include "query/uWhoisRequestThread.h"
#include "serverdb/uWhoisResultList.h"

#include <string>
#include <utility>

namespace tesseron {

// The settings record turned into the plain values the core reads, so the core folders need
// not know the record. Both front ends build a run and a store step only through these.

// What a run reads, captured when it starts so later changes do not reach it.
inline RunSettings MakeRunSettings(const TSettings& s, std::string serverBoxText) {
    RunSettings r;
    r.bUseRating = s.bUseRating;
    r.bAsDomain = s.bAsDomain;
    r.DetermineIpAddress = s.DetermineIpAddress;
    r.DetermineReverseName = s.DetermineReverseName;
    r.PropWNDQuery = s.PropWNDQuery;
    r.whoisTimeout = s.whoisTimeout;
    r.socks.version = static_cast<uint8_t>(s.proxyVersion);
    r.socks.host = s.proxyHost;
    r.socks.port = s.proxyPort;
    r.socks.authentication = static_cast<uint8_t>(s.proxyAuthentication);
    r.socks.userName = s.proxyUserName;
    r.socks.password = s.proxyPassword;
    r.protocols = static_cast<ProtocolChoice>(s.RdapMode);
    r.serverBoxText = std::move(serverBoxText);
    return r;
}

inline StoreSettings MakeStoreSettings(const TSettings& s) {
    StoreSettings store;
    store.UpdateIfExists = s.UpdateIfExists;
    store.MaxWhoisResults = s.MaxWhoisResults;
    return store;
}

} // namespace tesseron
