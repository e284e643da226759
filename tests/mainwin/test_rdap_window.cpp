// The window asking RDAP: loopback services that the test's own bootstrap files name, the
// answers stored and shown again by a new window on the same files.
#include "mainwin/ResultsView.h"
#include "mainwin/main.h"
#include "mainwin/uFrmRdapJson.h"
#include "query/RdapRender.h"
#include "support/FakeDesktop.h"
#include "support/FakeServer.h"
#include "support/ScriptedHttpServer.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <functional>

namespace tesseron::test {
namespace {

namespace fs = std::filesystem;

std::string Fixture(const char* name) {
    return ReadFile(fs::path(TESSERON_SOURCE_DIR) / "tests/query/rdap" / name);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A zone that left port 43: nothing in the server list names it.
const char* const kOnlyRdap =
    "{\"objectClassName\": \"domain\", \"handle\": \"NIC-ONLY-1\", \"ldhName\": \"nic.only\","
    " \"status\": [\"active\"], \"events\": [{\"eventAction\": \"registration\","
    " \"eventDate\": \"2024-01-01T00:00:00Z\"}], \"nameservers\": [{\"objectClassName\":"
    " \"nameserver\", \"ldhName\": \"ns1.nic.only\"}]}";

// One registry service per kind, all on one loopback server: "only" and "test" names, the
// documentation networks and AS numbers; the registrar's record a registry answer links to
// is reached by name, routed to the same server. ".test" also has a port-43 server.
struct Services {
    FakeWhoisServer whois{
        WhoisBehaviour::Respond([](const std::string& q) { return "Domain: " + q + "\r\n"; })};
    ScriptedHttpServer http{{
        {"/only/domain/nic.only", {{200, kOnlyRdap}}},
        {"/registry/domain/xn--bcher-kva.test",
         {{200, Replaced(Fixture("domain-registry.json"), "https://rdap.registrar.test",
                         "http://rdap.registrar.test")}}},
        {"/domain/XN--BCHER-KVA.TEST", {{200, Fixture("domain-registrar.json")}}},
        {"/rir/ip/2001:db8::/32", {{200, Fixture("ip-v6.json")}}},
        {"/rir/autnum/64500", {{200, Fixture("autnum.json")}}},
    }};
    TempDir dir;
    ProgramPaths paths = ProgramPaths::Locate(dir / "tesseron", ProgramPaths::Environment{}, true);
    TSettings settings;
    FakeDesktop desktop;

    explicit Services(int rdapMode, const std::string& language = "english.lng") {
        fs::copy(fs::path(TESSERON_SOURCE_DIR) / "data/languages", dir / "languages");
        dir.Write("whois.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<whois><domains>"
                               "<domain><suffix>.test</suffix><description>Test</description>"
                               "<servers><server><name>Test registry</name><address>127.0.0.1:" +
                                   std::to_string(whois.port()) +
                                   "</address><rating>0</rating></server></servers></domain>"
                                   "</domains></whois>\n");
        fs::create_directory(dir / "rdap");
        // A bootstrap file of one service per block list ("services": [[blocks], [URL]]).
        const auto bootstrap = [&](const char* file,
                                   std::vector<std::pair<std::string, std::string>> services) {
            std::string text = "{\"version\": \"1.0\", \"services\": [";
            for (const auto& [blocks, path] : services)
                text += (text.back() == '[' ? "" : ", ") + ("[[" + blocks + "], [\"") +
                        http.Url(path) + "\"]]";
            dir.Write(std::string("rdap/") + file, text + "]}\n");
        };
        bootstrap("dns.json", {{"\"only\"", "/only/"}, {"\"test\"", "/registry/"}});
        bootstrap("ipv4.json", {{"\"192.0.2.0/24\"", "/rir/"}});
        bootstrap("ipv6.json", {{"\"2001:db8::/32\"", "/rir/"}});
        bootstrap("asn.json", {{"\"64496-64511\"", "/rir/"}});
        dir.Write("tesseron.ini", "[Defaults]\nDetermineIpAddress=0\nDetermineReverseName=0\n"
                                  "PropWNDQuery=1\nDefaultLang=" +
                                      language + "\nRdapMode=" + std::to_string(rdapMode) + "\n");
    }
    std::unique_ptr<TTesseronForm> Open() {
        auto form = std::make_unique<TTesseronForm>(paths, settings, desktop);
        form->LoadLanguage();
        const std::string base = http.Url("");
        const int port = std::stoi(base.substr(base.rfind(':') + 1));
        form->SetConnectTo({{"rdap.registrar.test", 0, "127.0.0.1", port}});
        return form;
    }
    // The paths asked so far, in order.
    QStringList Asked() const {
        QStringList paths;
        for (const std::string& head : http.Requests()) {
            const auto start = head.find(' ') + 1;
            paths << QString::fromStdString(head.substr(start, head.find(' ', start) - start));
        }
        return paths;
    }
};

template <class T> T* Child(QObject* form, const char* name) {
    T* child = form->findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no child %s", name);
    return child;
}

QString Pane(TTesseronForm& form) {
    return Child<QTextEdit>(&form, "RichEdit1")->toPlainText();
}

// Runs `inspect` on the modal dialog `open` brings up; the dialog is closed afterwards.
template <class Dialog>
void WithModal(const std::function<void()>& open, const std::function<void(Dialog&)>& inspect) {
    bool seen = false;
    QTimer::singleShot(0, qApp, [&] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        seen = true;
        inspect(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    open();
    QVERIFY(seen);
}

// The progress window is modal: should a run hang, the test fails instead of hanging too.
void Query(TTesseronForm& form, const QString& address) {
    Child<QComboBox>(&form, "cmbHost")->setEditText(address);
    auto* query = Child<QAction>(&form, "actWhoIs");
    QTRY_VERIFY(query->isEnabled());
    QTimer::singleShot(20000, qApp, [] {
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    query->trigger();
}

// Every text in `texts` appears in `pane`, in that order.
bool InOrder(const QString& pane, const QStringList& texts) {
    qsizetype at = 0;
    for (const QString& text : texts) {
        at = pane.indexOf(text, at);
        if (at < 0) return false;
    }
    return true;
}

} // namespace

class RdapWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        qputenv("HOME", QByteArray::fromStdString(home_.path().string()));
    }

    void answersAreShownStoredAndShownAgain_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("texts"); // in the answer pane, in this order
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title"); // of the JSON view, as the language file says
        QTest::newRow("a zone without a port-43 server")
            << 1 << "nic.only" << QStringList{"/only/domain/nic.only"}
            << QStringList{"Domain Name: nic.only", "Name Server: ns1.nic.only"} << "english.lng"
            << "RDAP JSON";
        QTest::newRow("a registry and its registrar, RDAP first")
            << 2 << QString::fromUtf8("bücher.test")
            << QStringList{"/registry/domain/xn--bcher-kva.test", "/domain/XN--BCHER-KVA.TEST"}
            << QStringList{"Domain Name: XN--BCHER-KVA.TEST", "Registrar: Example Registrar, Inc.",
                           "Domain Name: xn--bcher-kva.test",
                           QString::fromUtf8("Registrant Organization: Bücher Verlag GmbH")}
            << "english.lng"
            << "RDAP JSON";
        QTest::newRow("an IPv6 network")
            << 1 << "2001:db8::/32" << QStringList{"/rir/ip/2001:db8::/32"}
            << QStringList{"CIDR: 2001:db8::/32", "Net Name: DOCUMENTATION"} << "english.lng"
            << "RDAP JSON";
        QTest::newRow("an AS number")
            << 1 << "AS64500" << QStringList{"/rir/autnum/64500"}
            << QStringList{"AS Range: AS64496 - AS64511", "AS Name: DOC-AS-BLOCK"} << "russian.lng"
            << QString::fromUtf8("JSON ответа RDAP");
    }
    void answersAreShownStoredAndShownAgain() {
        QFETCH(int, mode);
        QFETCH(QString, address);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, texts);
        QFETCH(QString, language);
        QFETCH(QString, title);
        Services s(mode, language.toStdString());
        QString shown;
        std::string json;
        {
            auto form = s.Open();
            QCOMPARE(s.desktop.errors, QStringList{}); // the test's files read cleanly
            Query(*form, address);
            QCOMPARE(s.Asked(), asked);
            QVERIFY(s.whois.Queries().empty()); // ".test" has one, but RDAP answered first
            QCOMPARE(form->Results().Count(), 1);
            const TWhoisResultItem* result = form->View().CurrentResult();
            QVERIFY(result && result->IsRdap());
            json = result->RdapJson;
            // Both documents are kept, the registry's first, when a registrar was followed.
            QCOMPARE(json.front() == '[', asked.size() == 2);
            shown = Pane(*form);
            QVERIFY2(InOrder(shown, texts), qPrintable(shown));

            auto* showJson = Child<QAction>(form.get(), "actShowRdapJson");
            QTRY_VERIFY(showJson->isEnabled());
            WithModal<TfrmRdapJson>(
                [&] { showJson->trigger(); },
                [&](TfrmRdapJson& view) {
                    auto* text = Child<QPlainTextEdit>(&view, "memJson");
                    QVERIFY(text->isReadOnly());
                    QCOMPARE(view.windowTitle(), title);
                    QCOMPARE(text->toPlainText().toStdString(), PrettyRdapJson(json));
                    QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
                    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
                    QCOMPARE(QApplication::clipboard()->text(), text->toPlainText());
                    QTest::keyClick(&view, Qt::Key_Escape);
                    QVERIFY(!view.isVisible());
                });
        }
        auto form = s.Open(); // the same files, as after a restart
        QCOMPARE(form->View().CurrentResult()->RdapJson, json);
        QCOMPARE(Pane(*form), shown);
        QTRY_VERIFY(Child<QAction>(form.get(), "actShowRdapJson")->isEnabled());

        // A refresh asks RDAP again, even where port 43 would come first.
        Child<QAction>(form.get(), "actResultUpdate")->trigger();
        QCOMPARE(s.Asked(), asked + asked);
        QVERIFY(s.whois.Queries().empty());
        QCOMPARE(form->Results().Count(), 1);
    }

    // RdapMode 0 is port 43 as it always was: a zone without a server fails, no RDAP
    // service is asked, and a port-43 answer has no JSON to show.
    void portFortyThreeOnlyAsksNoRdap() {
        Services s(0);
        auto form = s.Open();
        Query(*form, "nic.only");
        QCOMPARE(form->Results().Count(), 0);
        Query(*form, QString::fromUtf8("bücher.test"));
        QCOMPARE(s.whois.Queries(), std::vector<std::string>{"xn--bcher-kva.test"});
        QVERIFY(s.Asked().isEmpty());
        QCOMPARE(form->Results().Count(), 1);
        QVERIFY(!form->Results()[0].IsRdap());
        QVERIFY(Pane(*form).contains("Domain: xn--bcher-kva.test"));
        form->show();
        QTest::qWait(10); // the idle update of the actions
        QVERIFY(!Child<QAction>(form.get(), "actShowRdapJson")->isEnabled());
    }

    // The server browser is handed the window's bootstrap tables.
    void serverBrowserShowsTheZonesService() {
        Services s(1);
        auto form = s.Open();
        WithModal<QDialog>([&] { Child<QAction>(form.get(), "actEditServ")->trigger(); },
                           [&](QDialog& browser) {
                               auto* tree = Child<QTreeWidget>(&browser, "tvDomains");
                               tree->setCurrentItem(tree->topLevelItem(0)); // ".test"
                               QCOMPARE(Child<QLineEdit>(&browser, "edRdap")->text(),
                                        QString::fromStdString(s.http.Url("/registry/")));
                           });
    }

private:
    TempDir home_;
};

} // namespace tesseron::test

QTEST_MAIN(tesseron::test::RdapWindowTest)
#include "test_rdap_window.moc"
