#include "desktop/ShellHandOver.h"

#include <QDesktopServices>
#include <QDir>
#include <QRegularExpression>

namespace tesseron {

QUrl ShellUrlFor(const QString& target) {
    // A one-letter "scheme" is a drive letter on other systems, never a URL here; a path
    // such as "/tmp/a:b" has no scheme because it does not start with a letter.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(target).hasMatch()) return QUrl(target, QUrl::TolerantMode);
    return QUrl::fromLocalFile(QDir::cleanPath(QDir::current().absoluteFilePath(target)));
}

QUrl MailToUrl(const QString& address) {
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    // Decoded mode: every character is part of the address, "%" included, so the text can
    // never split into several targets or smuggle in header fields.
    url.setPath(address, QUrl::DecodedMode);
    return url;
}

void OpenInShell(const QString& target) {
    QDesktopServices::openUrl(ShellUrlFor(target));
}

void MailToInShell(const QString& address) {
    QDesktopServices::openUrl(MailToUrl(address));
}

} // namespace tesseron
