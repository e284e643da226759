#include "desktop/ShellHandOver.h"

#include <QDesktopServices>
#include <QDir>
#include <QRegularExpression>

namespace tesseron {

QUrl WebAddressFor(const QString& queryText) {
    static const QRegularExpression pathStart(QStringLiteral("[/?#]"));
    // Two colons or more among hex digits and dots: an IPv6 address (also the network part
    // of "2001:db8::/32"), which a URL can only carry in brackets.
    static const QRegularExpression ipv6(
        QStringLiteral("^[0-9A-Fa-f.]*:[0-9A-Fa-f.]*:[0-9A-Fa-f:.]*$"));
    const qsizetype cut = queryText.indexOf(pathStart);
    QString authority = cut < 0 ? queryText : queryText.left(cut);
    const QString rest = cut < 0 ? QString() : queryText.mid(cut);
    if (ipv6.match(authority).hasMatch()) authority = u'[' + authority + u']';
    return QUrl(QStringLiteral("http://") + authority + rest, QUrl::TolerantMode);
}

QUrl ShellUrlFor(const QString& target) {
    // "Open in browser" hands over "http://" and the query text, which may be an IPv6 address.
    static const QString web = QStringLiteral("http://");
    if (target.startsWith(web)) return WebAddressFor(target.mid(web.size()));
    // A host with a port would read as a URL whose scheme is the host name.
    static const QRegularExpression hostAndPort(
        QStringLiteral("^([A-Za-z0-9-]+\\.[A-Za-z0-9.-]+|localhost):[0-9]{1,5}([/?#]|$)"));
    if (hostAndPort.match(target).hasMatch()) return WebAddressFor(target);
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

bool OpenInShell(const QString& target) {
    return QDesktopServices::openUrl(ShellUrlFor(target));
}

void MailToInShell(const QString& address) {
    QDesktopServices::openUrl(MailToUrl(address));
}

} // namespace tesseron
