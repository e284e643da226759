#pragma once

#include <QString>
#include <QUrl>

namespace tesseron {

// Hands a web address, a file or a mail address to the desktop, which opens it with the
// program registered for it. No shell is involved, nothing waits for the started program
// and the forms never check the outcome: when nothing is registered, nothing happens. These
// two are the program's only way out to the desktop. OpenInShell tells whether something
// took the target, for the mail hand-over, which reports a message nobody took.
bool OpenInShell(const QString& target);
void MailToInShell(const QString& address);

// The URLs the two calls hand over: a text with a scheme ("http://...", "mailto:...") is
// taken as a URL, a host with a port ("example.com:4343/whois") as a web address, anything
// else as a local file path. "http://" and a query text is that text's web address
// (WebAddressFor). The mail address is one URL whatever it holds (quotes,
// semicolons, blanks).
QUrl ShellUrlFor(const QString& target);
// The web address of a query text: "http://" followed by the text, whatever it already
// holds. An IPv6 address is put in brackets and what the path, query and fragment cannot
// carry is percent-encoded; a text whose host part can be no host name gives an invalid URL.
QUrl WebAddressFor(const QString& queryText);
QUrl MailToUrl(const QString& address);

} // namespace tesseron
