#include "desktop/ShellHandOver.h"

#include <QDesktopServices>
#include <QDir>
#include <QtTest>

using namespace tesseron;

// Stands in for the desktop: every URL handed over lands here instead of a program.
class TestShellHandOver final : public QObject {
    Q_OBJECT
public slots:
    void take(const QUrl& url) { taken.append(url); }

private:
    QList<QUrl> taken;

private slots:
    void initTestCase() {
        for (const char* scheme : {"http", "https", "file", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "take");
    }
    void cleanupTestCase() {
        for (const char* scheme : {"http", "https", "file", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    void init() { taken.clear(); }

    void openInShell_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QUrl>("expected");
        QTest::newRow("web address")
            << "http://example.com/whois?q=a b" << QUrl("http://example.com/whois?q=a%20b");
        QTest::newRow("https") << "https://tesseron-whois.org"
                               << QUrl("https://tesseron-whois.org");
        QTest::newRow("absolute file")
            << "/opt/tesseron/history.txt" << QUrl::fromLocalFile("/opt/tesseron/history.txt");
        QTest::newRow("file with colon and hash")
            << "/tmp/a:b #1.txt" << QUrl::fromLocalFile("/tmp/a:b #1.txt");
        QTest::newRow("host and port") << "example.com:4343" << QUrl("http://example.com:4343");
        QTest::newRow("web address of an IPv6 query")
            << "http://2001:db8::1" << QUrl("http://[2001:db8::1]");
        QTest::newRow("localhost, port and path")
            << "localhost:8080/whois?q=a" << QUrl("http://localhost:8080/whois?q=a");
        QTest::newRow("relative file")
            << "history.txt"
            << QUrl::fromLocalFile(QDir::current().absoluteFilePath("history.txt"));
    }
    void openInShell() {
        QFETCH(QString, target);
        QFETCH(QUrl, expected);
        OpenInShell(target);
        QCOMPARE(taken.size(), 1);
        QCOMPARE(taken.front(), expected);
    }

    // "Open in browser": "http://" and the query text, as a URL a browser can open.
    void webAddress_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("url"); // encoded; empty: no valid URL can be made
        QTest::newRow("name") << "example.com"
                              << "http://example.com";
        QTest::newRow("name and port") << "example.com:4343"
                                       << "http://example.com:4343";
        QTest::newRow("IPv4 network") << "192.0.2.0/24"
                                      << "http://192.0.2.0/24";
        QTest::newRow("IPv6") << "2001:db8::1"
                              << "http://[2001:db8::1]";
        QTest::newRow("IPv6 network") << "2001:db8::/32"
                                      << "http://[2001:db8::]/32";
        QTest::newRow("loopback v6") << "::1"
                                     << "http://[::1]";
        QTest::newRow("IDN") << "b\u00fccher.de"
                             << "http://xn--bcher-kva.de";
        QTest::newRow("path needing escapes") << "example.com/a b\"<>%zz"
                                              << "http://example.com/a%20b%22%3C%3E%25zz";
        QTest::newRow("a scheme gets one all the same") << "https://example.com"
                                                        << "http://https//example.com";
        QTest::newRow("blank in the host") << "exa mple.com"
                                           << "";
    }
    void webAddress() {
        QFETCH(QString, query);
        QFETCH(QString, url);
        const QUrl made = WebAddressFor(query);
        QCOMPARE(made.isValid(), !url.isEmpty());
        if (!url.isEmpty()) QCOMPARE(QString::fromLatin1(made.toEncoded()), url);
    }

    void mailToInShell_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << "support@tesseron-whois.org"
                               << "support@tesseron-whois.org";
        QTest::newRow("quotes, semicolon, blanks") << "\"Help Desk\" <a@b.org>; c@d.org"
                                                   << "\"Help Desk\" <a@b.org>; c@d.org";
        QTest::newRow("no header smuggling") << "a@b.org?cc=x@y.org#z%41"
                                             << "a@b.org?cc=x@y.org#z%41";
    }
    void mailToInShell() {
        QFETCH(QString, address);
        QFETCH(QString, path);
        MailToInShell(address);
        QCOMPARE(taken.size(), 1);
        const QUrl url = taken.front();
        QCOMPARE(url.scheme(), QStringLiteral("mailto"));
        QCOMPARE(url.path(QUrl::FullyDecoded), path);
        QVERIFY(!url.hasQuery());
        QVERIFY(!url.hasFragment());
    }
};

QTEST_MAIN(TestShellHandOver)
#include "test_shell_handover.moc"
