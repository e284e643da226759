#include "locale/Language.h"
#include "locale/QtTranslationTarget.h"
#include "mainwin/Settings.h"
#include "serverdb/BootstrapFixtures.h"
#include "serverdb/HttpTestServer.h"
#include "serverdb/RegistryBlocks.h"
#include "serverdb/uDlgUpdateRating.h"
#include "serverdb/uDomainList.h"
#include "support/FakeDesktop.h"
#include "support/TempDir.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace tesseron::test {

std::string ListXml(const std::string& zones) {
    return "<?xml version=\"1.0\"?><whois><domains>" + zones + "</domains></whois>";
}

class UpdateDialogTest : public QObject {
    Q_OBJECT

    struct Fixture {
        TempDir dir;
        TSettings settings;
        MessageTable messages;
        TDomainCollection domains;
        FakeDesktop desktop;
        QStringList& errors = desktop.errors;
        int countsChanged = 0;
        RegistryBlocks registries;
        int registriesChanged = 0;
        std::unique_ptr<TdlgUpdateRating> dialog;

        // With `rdapBase`, the registries' files are refreshed too: the shipped ones hold
        // kOldFiles, refreshed ones go to the folder "rdap".
        explicit Fixture(const std::string& url, std::filesystem::path installPath = {},
                         std::function<void()> prepareFolder = {}, std::string rdapBase = {}) {
            settings.WhoisFileLink = url;
            settings.ServerListPath =
                dir.Write("whois.xml", ListXml("<zone><suffix>.old</suffix></zone>")).string();
            domains.LoadFromFile(settings.ServerListPath);
            messages.sUpDateFailed = "failed";
            messages.sFileCorrupted = "corrupted";
            TdlgUpdateRating::Deps deps;
            deps.whoisFileLink = &settings.WhoisFileLink;
            deps.serverListPath = &settings.ServerListPath;
            deps.domains = &domains;
            deps.messages = &messages;
            deps.installPath = std::move(installPath);
            deps.prepareFolder = std::move(prepareFolder);
            if (!rdapBase.empty()) {
                settings.RdapBootstrapUrl = rdapBase;
                for (const auto& [name, text] : kOldFiles)
                    dir.Write(name, text);
                deps.rdapBootstrapUrl = &settings.RdapBootstrapUrl;
                deps.rdapFolder = dir / "rdap";
                deps.rdapFile = [this](std::string_view name) {
                    const auto refreshed = dir / "rdap" / name;
                    return std::filesystem::exists(refreshed) ? refreshed : dir / name;
                };
                deps.registries = &registries;
                registries.LoadFiles(deps.rdapFile);
            }
            dialog = std::make_unique<TdlgUpdateRating>(nullptr, desktop, std::move(deps));
            QObject::connect(dialog.get(), &TdlgUpdateRating::serverListReplaced,
                             [this] { ++countsChanged; });
            QObject::connect(dialog.get(), &TdlgUpdateRating::registriesReplaced,
                             [this] { ++registriesChanged; });
            dialog->show();
        }
        template <typename T> T* Find(const char* name) { return dialog->findChild<T*>(name); }
    };

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        // Loopback traffic never goes through a proxy that the environment may name.
        for (const char* name :
             {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            qunsetenv(name);
    }

    void languageFilesReachTheFormByItsNames() {
        Fixture f("http://127.0.0.1:1/whois.xml");
        QtTranslationTarget form(f.dialog.get());
        QCOMPARE(QString::fromStdString(form.ClassName()), QString("TdlgUpdateRating"));
        form.SetText("Caption", "Server list update");
        QCOMPARE(f.dialog->windowTitle(), QString("Server list update"));
        for (const char* name : {"lblText", "Label1", "btnUpdate", "CancelBtn"}) {
            auto component = form.FindComponent(name);
            QVERIFY2(component, name);
            component->SetText("Caption", std::string("new ") + name);
        }
        QCOMPARE(f.Find<QPushButton>("CancelBtn")->text(), QString("new CancelBtn"));
        for (const char* name : {"Panel1", "Image1", "edFileName", "ProgressBar1", "lblStatus"})
            QVERIFY2(form.FindComponent(name), name);
    }

    void goodUpdateInstallsReloadsAndCloses() {
        HttpServer server({{"/whois.xml", {200, {ListXml("<zone><suffix>.aa</suffix></zone>")}}}});
        Fixture f(server.Url("/whois.xml"));
        QCOMPARE(f.dialog->objectName(), QString("dlgUpdateRating"));
        QCOMPARE(f.Find<QLineEdit>("edFileName")->text(),
                 QString::fromStdString(server.Url("/whois.xml")));
        QTest::mouseClick(f.Find<QPushButton>("btnUpdate"), Qt::LeftButton);
        QVERIFY(!f.Find<QPushButton>("CancelBtn")->isEnabled());
        QTRY_VERIFY(!f.dialog->isVisible());
        QCOMPARE(f.dialog->result(), int(QDialog::Accepted));
        QCOMPARE(f.domains.Count(), 1);
        QCOMPARE(QString::fromStdString(f.domains[0].Suffix), QString(".aa"));
        QCOMPARE(f.countsChanged, 1);
        QVERIFY(f.errors.isEmpty());
        QVERIFY(std::filesystem::exists(f.settings.ServerListPath + ".backup"));
        QCOMPARE(f.Find<QProgressBar>("ProgressBar1")->value(), 100);
    }

    void slowDownloadKeepsTheDialogOpenAndUnclosable() {
        HttpServer server({{"/whois.xml", {200, {"<html>", "not a list</html>"}, 400}},
                           {"/good.xml", {200, {ListXml("<zone><suffix>.bb</suffix></zone>")}}}});
        Fixture f(server.Url("/whois.xml"));
        QTest::mouseClick(f.Find<QPushButton>("btnUpdate"), Qt::LeftButton);
        // While the body is on its way the bar has moved and closing is refused.
        QTRY_COMPARE(f.Find<QProgressBar>("ProgressBar1")->value(), 100);
        QVERIFY(f.dialog->UpdateRunning());
        QCOMPARE(f.Find<QLabel>("lblStatus")->text(),
                 QString::fromStdString("Downloading " + server.Url("/whois.xml")));
        f.dialog->reject();
        QVERIFY(f.dialog->isVisible());
        QTRY_VERIFY(f.Find<QPushButton>("CancelBtn")->isEnabled());
        QCOMPARE(f.errors, QStringList{"failed\r\ncorrupted"});
        QVERIFY(f.dialog->isVisible());
        QCOMPARE(f.domains.Count(), 1);
        QCOMPARE(QString::fromStdString(f.domains[0].Suffix), QString(".old"));
        QCOMPARE(f.countsChanged, 0);
        QVERIFY(std::filesystem::exists(f.settings.ServerListPath + ".tmp"));
        QVERIFY(!std::filesystem::exists(f.settings.ServerListPath + ".backup"));

        // A second press overwrites the corrupted download and installs the good list.
        f.settings.WhoisFileLink = server.Url("/good.xml");
        QTest::mouseClick(f.Find<QPushButton>("btnUpdate"), Qt::LeftButton);
        QTRY_VERIFY(!f.dialog->isVisible());
        QCOMPARE(QString::fromStdString(f.domains[0].Suffix), QString(".bb"));
        QVERIFY(!std::filesystem::exists(f.settings.ServerListPath + ".tmp"));
        QCOMPARE(f.errors.size(), 1);
    }

    void installedCopyUpdatesInItsWritableFolder() {
        HttpServer server({{"/whois.xml", {200, {ListXml("<zone><suffix>.aa</suffix></zone>")}}}});
        TempDir writable;
        const auto installed = writable / "tesseron" / "whois.xml";
        Fixture f(server.Url("/whois.xml"), installed,
                  [&] { std::filesystem::create_directories(installed.parent_path()); });
        const std::string shipped = f.settings.ServerListPath;
        const std::string shippedText = ReadFile(shipped);
        QTest::mouseClick(f.Find<QPushButton>("btnUpdate"), Qt::LeftButton);
        QTRY_VERIFY(!f.dialog->isVisible());
        QVERIFY(f.errors.isEmpty());
        QCOMPARE(QString::fromStdString(f.settings.ServerListPath),
                 QString::fromStdString(installed.string()));
        QCOMPARE(QString::fromStdString(f.domains[0].Suffix), QString(".aa"));
        QCOMPARE(ReadFile(shipped), shippedText); // the shipped list stays the fallback
        QCOMPARE(ReadFile(installed.string() + ".backup"), shippedText);
        QVERIFY(!std::filesystem::exists(shipped + ".tmp"));

        // A folder that cannot be readied is said at once; nothing is fetched.
        Fixture refused(server.Url("/whois.xml"), writable / "none" / "whois.xml",
                        [] { throw std::runtime_error("no folder"); });
        QTest::mouseClick(refused.Find<QPushButton>("btnUpdate"), Qt::LeftButton);
        QCOMPARE(refused.errors, QStringList{"failed\r\nno folder"});
        QVERIFY(!refused.dialog->UpdateRunning());
        QVERIFY(refused.Find<QPushButton>("CancelBtn")->isEnabled());
    }

    // A refused connection is reported with the host and the reason; nothing changes.
    void unreachableAddressSaysWhereAndWhy() {
        Fixture f("http://127.0.0.1:1/whois.xml");
        f.messages.sDownloadFailedFrom = "from %s:";
        f.messages.sDownloadRefused = "refused";
        QTest::mouseClick(f.Find<QPushButton>("btnUpdate"), Qt::LeftButton);
        QTRY_VERIFY(f.Find<QPushButton>("CancelBtn")->isEnabled());
        QCOMPARE(f.errors, QStringList{"failed\r\nfrom 127.0.0.1:\r\nrefused"});
        QVERIFY(f.dialog->isVisible());
        QCOMPARE(f.countsChanged, 0);
        QVERIFY(!std::filesystem::exists(f.settings.ServerListPath + ".tmp"));
    }

    // The registries' files are refreshed beside the list, each on its own: what failed is
    // said once, in the message and the status line, and the rest is installed and loaded.
    void registriesFilesAreRefreshedWithTheList() {
        struct Case {
            const char* what;
            bool listGood;
            std::map<std::string, Route> rdapRoutes;
            QStringList said; // parts of the one message; none: the dialog closes
            int newAsn;       // 1: asn.json was refreshed
        } cases[] = {
            {"all good", true, BootstrapRoutes(kNewFiles), {}, 1},
            {"two files refused",
             true,
             {{"/rdap/ipv4.json", {200, {kNewFiles.at("ipv4.json")}}},
              {"/rdap/ipv6.json", {200, {kNewFiles.at("ipv6.json")}}},
              {"/rdap/asn.json", {200, {"<html>oops</html>"}}}},
             {"dns.json was not refreshed", "HTTP 404", "asn.json was not refreshed",
              "not a registries' bootstrap file"},
             0},
            {"list refused", false, BootstrapRoutes(kNewFiles), {"failed\r\ncorrupted"}, 1},
        };
        for (const auto& c : cases) {
            auto routes = c.rdapRoutes;
            routes["/whois.xml"] = {
                200, {c.listGood ? ListXml("<zone><suffix>.aa</suffix></zone>") : "<html></html>"}};
            HttpServer server(routes);
            Fixture f(server.Url("/whois.xml"), {}, {}, server.Url("/rdap/"));
            QCOMPARE(f.registries.FindAsNumber(64500)->rir, Rir::Arin);
            QTest::mouseClick(f.Find<QPushButton>("btnUpdate"), Qt::LeftButton);
            QTRY_VERIFY2(f.Find<QPushButton>("CancelBtn")->isEnabled(), c.what);
            QCOMPARE(f.dialog->isVisible(), !c.said.isEmpty());
            QCOMPARE(f.errors.size(), c.said.isEmpty() ? 0 : 1);
            for (const QString& part : c.said) {
                QVERIFY2(f.errors.value(0).contains(part), qPrintable(f.errors.value(0)));
                const QString line = QString(part).replace("\r\n", "\n");
                QVERIFY2(f.Find<QLabel>("lblStatus")->text().contains(line), c.what);
            }
            QCOMPARE(f.countsChanged, c.listGood ? 1 : 0);
            QCOMPARE(QString::fromStdString(f.domains[0].Suffix),
                     QString(c.listGood ? ".aa" : ".old"));
            // ipv4.json is good in every case; the others as the case says.
            QCOMPARE(f.registriesChanged, 1);
            QCOMPARE(f.registries.FindIPv4({198, 51, 100, 1})->rir, Rir::Ripe);
            QCOMPARE(f.registries.FindAsNumber(64500)->rir, c.newAsn ? Rir::Ripe : Rir::Arin);
            QCOMPARE(f.registries.FindDomain("a.zz").has_value(), bool(c.newAsn));
            QCOMPARE(ReadFile(f.dir / "rdap" / "ipv4.json.backup"), kOldFiles.at("ipv4.json"));
            QCOMPARE(std::filesystem::exists(f.dir / "rdap" / "asn.json"), bool(c.newAsn));
        }
    }
};

} // namespace tesseron::test

QTEST_MAIN(tesseron::test::UpdateDialogTest)
#include "test_update_dialog.moc"
