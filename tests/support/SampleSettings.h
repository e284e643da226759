#pragma once

#include "mainwin/Settings.h"

namespace tesseron::test {

// A record unlike the defaults, so a control or a key that stores a default shows up.
inline TSettings SampleSettings() {
    TSettings s;
    s.HistoryLines = 12;
    s.whoisTimeout = 7300;
    s.PropWNDQuery = 1;
    s.UpdateIfExists = false;
    s.bSmartFilterURL = false;
    s.DetermineReverseName = false;
    s.TextColor = 0x123456;
    s.BackgroundColor = -5;
    s.FontName = "Mono Odd";
    s.FontSize = 31;
    s.FontStyle = 5;
    s.MaxWhoisResults = 777;
    s.proxyVersion = 2;
    s.proxyHost = "proxy.test";
    s.proxyPort = 3128;
    s.proxyAuthentication = 1;
    s.proxyUserName = "user";
    s.proxyPassword = "secret";
    return s;
}

} // namespace tesseron::test
