#include "locale/Language.h"
#include "locale/QtTranslationTarget.h"
#include "mainwin/Settings.h"
#include "serverdb/HttpTestServer.h"
#include "serverdb/uDlgUpdateRating.h"
#include "serverdb/uDomainList.h"
#include "support/FakeDesktop.h"
#include "support/TempDir.h"

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
        std::unique_ptr<TdlgUpdateRating> dialog;

        explicit Fixture(const std::string& url, std::filesystem::path installPath = {},
                         std::function<void()> prepareFolder = {}) {
            settings.WhoisFileLink = url;
            settings.ServerListPath =
                dir.Write("whois.xml", ListXml("<zone><suffix>.old</suffix></zone>")).string();
            domains.LoadFromFile(settings.ServerListPath);
            messages.sUpDateFailed = "failed";
            messages.sFileCorrupted = "corrupted";
            dialog = std::make_unique<TdlgUpdateRating>(
                nullptr, desktop,
                TdlgUpdateRating::Deps{&settings.WhoisFileLink, &settings.ServerListPath, &domains,
                                       &messages, std::move(installPath),
                                       std::move(prepareFolder)});
            QObject::connect(dialog.get(), &TdlgUpdateRating::serverListReplaced,
                             [this] { ++countsChanged; });
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
        for (const char* name : {"Panel1", "Image1", "edFileName", "ProgressBar1"})
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
};

} // namespace tesseron::test

QTEST_MAIN(tesseron::test::UpdateDialogTest)
#include "test_update_dialog.moc"
