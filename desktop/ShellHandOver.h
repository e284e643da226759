#pragma once

#include <QString>
#include <QUrl>

namespace tesseron {

// Hands a web address, a file or a mail address to the desktop, which opens it with the
// program registered for it. No shell is involved, nothing waits for the started program
// and the outcome is never checked: when nothing is registered, nothing happens.
void OpenInShell(const QString& target);
void MailToInShell(const QString& address);

// The URLs the two calls hand over: a text with a scheme ("http://...", "mailto:...") is
// taken as a URL, anything else as a local file path. The mail address is one URL
// whatever it holds (quotes, semicolons, blanks).
QUrl ShellUrlFor(const QString& target);
QUrl MailToUrl(const QString& address);

} // namespace tesseron
