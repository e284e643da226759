#include "app/QtDesktopServices.h"
#include "mainwin/ResultsView.h"
#include "mainwin/main.h"
#include "serverdb/BootstrapFixtures.h"
#include "support/FakeDesktop.h"
#include "support/FakeServer.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSplitter>
#include <QStandardPaths>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace tesseron::test {
namespace {

namespace fs = std::filesystem;

// A program folder of its own: server list, languages, and whatever a test stores there.
struct Program {
    TempDir dir;
    ProgramPaths paths;
    TSettings settings;
    FakeDesktop desktop;
    QtDesktopServices realDesktop{IntegrationEnvironment{}};
    QStringList& errors = desktop.errors;
    QStringList& infos = desktop.infos;
    bool& tray = desktop.tray;
    bool realBoxes = false; // the real question box and save dialog instead of recorders

    Program() {
        paths = ProgramPaths::Locate(dir / "tesseron", ProgramPaths::Environment{}, true);
        fs::copy(fs::path(TESSERON_SOURCE_DIR) / "data/languages", dir / "languages");
        fs::copy_file(fs::path(TESSERON_SOURCE_DIR) / "data/whois.xml", dir / "whois.xml");
        fs::copy(fs::path(TESSERON_SOURCE_DIR) / "data/rdap", dir / "rdap");
    }
    void Ini(const std::string& text) const { dir.Write("tesseron.ini", text); }
    // Stores results oldest first, as a previous run would have left them.
    void StoreResults(const std::vector<std::string>& queries) const {
        TWhoisResultCollection results;
        for (const auto& q : queries) {
            auto& item = results.Add();
            item.QueryString = q;
            item.ServerName = "whois.test";
            item.QueryDate = "01.01.2024";
            item.RawAnswer = "old answer of " + q;
        }
        results.SaveToFile(paths.ResultsFile().string());
    }
    // One result as a real query leaves it.
    void StoreFullResult(const std::string& reverseName) const {
        TWhoisResultCollection results;
        auto& item = results.Add();
        item.QueryString = "example.com";
        item.ServerName = "whois.verisign-grs.com";
        item.IpAddress = "93.184.216.34";
        item.ReverseName = reverseName;
        item.QueryDate = "09.12.2026 01:20:11";
        item.RawAnswer = "Domain Name: EXAMPLE.COM\r\n";
        results.SaveToFile(paths.ResultsFile().string());
    }
    std::unique_ptr<TTesseronForm> Open() {
        if (realBoxes) desktop.real = &realDesktop;
        auto form = std::make_unique<TTesseronForm>(paths, settings, desktop);
        form->LoadLanguage();
        return form;
    }
};

template <class T> T* Child(QObject* form, const char* name) {
    T* child = form->findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no child %s", name);
    return child;
}

QStringList HistoryOf(const TTesseronForm& form) {
    QStringList list;
    for (const auto& h : form.History())
        list << QString::fromStdString(h);
    return list;
}

// Runs `inspect` on the modal box or dialog that `open` brings up, then closes it.
template <class Dialog>
void WithModal(const std::function<void()>& open, const std::function<void(Dialog&)>& inspect) {
    bool seen = false;
    QTimer::singleShot(0, qApp, [&] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        seen = true;
        inspect(*dialog);
        dialog->reject();
    });
    open();
    QVERIFY(seen);
}

QStringList ButtonTexts(const QDialogButtonBox& box) {
    QStringList texts;
    for (const QAbstractButton* button : box.buttons())
        texts << button->text();
    texts.sort();
    return texts;
}

// A run's progress window is modal; should it ever stay open, close it so the test fails
// instead of hanging.
void GuardModal() {
    QTimer::singleShot(20000, qApp, [] {
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        // Qt's file dialog remembers its state in the user's settings: not the real ones.
        qputenv("HOME", QByteArray::fromStdString(home_.path().string()));
    }

    void startUpWithMissingAndDamagedFiles_data() {
        QTest::addColumn<bool>("damagedResults");
        QTest::addColumn<bool>("damagedServerList");
        QTest::addColumn<int>("errors");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("saying"); // how the message begins
        QTest::newRow("nothing stored") << false << false << 0 << "english.lng"
                                        << "";
        QTest::newRow("damaged results") << true << false << 1 << "english.lng"
                                         << "The results file";
        QTest::newRow("damaged server list") << false << true << 1 << "english.lng"
                                             << "The server list";
        QTest::newRow("damaged results, Russian")
            << true << false << 1 << "russian.lng"
            << QString::fromUtf8("Не удалось прочитать файл результатов");
        QTest::newRow("damaged server list, Russian")
            << false << true << 1 << "russian.lng"
            << QString::fromUtf8("Не удалось прочитать список серверов");
    }
    void startUpWithMissingAndDamagedFiles() {
        QFETCH(bool, damagedResults);
        QFETCH(bool, damagedServerList);
        QFETCH(int, errors);
        QFETCH(QString, language);
        QFETCH(QString, saying);
        Program p;
        p.Ini("[Defaults]\nDefaultLang=" + language.toStdString() + "\n");
        if (damagedResults) p.dir.Write("whois_result.xml", "<WhoisResult><Result>");
        if (damagedServerList) p.dir.Write("whois.xml", "<whois><domains>");
        {
            auto form = p.Open();
            QCOMPARE(p.errors.size(), errors);
            if (errors > 0) QVERIFY2(p.errors[0].startsWith(saying), qPrintable(p.errors[0]));
            // Every other step ran: servers listed, language loaded, title set.
            QCOMPARE(Child<QComboBox>(form.get(), "cmbServerName")->count() > 0,
                     !damagedServerList);
            QCOMPARE(Child<QAction>(form.get(), "actWhoIs")->text(),
                     language == "english.lng" ? QString("&Query") : QString::fromUtf8("&Запрос"));
            QVERIFY(form->windowTitle().contains(QString::fromUtf8(" \u2014 ")));
            form->show();
            QVERIFY(!form->isMaximized());
            QCOMPARE(form->size(), QSize(722, 564));
        }
        QCOMPARE(p.errors.size(), errors);
        QVERIFY(fs::exists(p.dir / "tesseron.ini"));
        // A results file that did not load is kept before it is written over.
        QCOMPARE(fs::exists(p.dir / "whois_result.xml.damaged"), damagedResults);
    }

    void shutDownWritesResultsAndSettings() {
        Program p;
        p.StoreResults({"a.test", "b.test"});
        p.Ini("[Defaults]\nbUseRating=2\nFontStyle=31\nwhoisTimeout=0x1388\npnlQureyWidth=260\n"
              "[Window State]\nWindowState=2\n");
        {
            auto form = p.Open();
            QCOMPARE(p.settings.whoisTimeout, 5000);
            form->show();
            QVERIFY(form->isMaximized());
            form->Results()[0].Delete();
            Child<QAction>(form.get(), "actWhoisAsDomain")->trigger(); // off
        }
        QVERIFY(p.errors.isEmpty());
        const std::string ini = ReadFile(p.dir / "tesseron.ini");
        for (const char* line : {"bUseRating=1", "FontStyle=15", "bAsDomain=0", "whoisTimeout=5000",
                                 "pnlQureyWidth=260", "WindowState=2"})
            QVERIFY2(ini.find(line) != std::string::npos, line);
        QVERIFY(ini.find("[Window Position]") == std::string::npos); // closed maximised
        TWhoisResultCollection stored;
        stored.LoadFromFile(p.paths.ResultsFile().string());
        QCOMPARE(stored.Count(), 1);
        QCOMPARE(stored[0].QueryString, std::string("b.test"));
    }

    void refusedWritesAreReportedOnceEach() {
        Program p;
        fs::create_directory(p.dir / "tesseron.ini"); // neither file can replace a folder
        fs::create_directory(p.dir / "whois_result.xml");
        auto form = p.Open();
        const auto atStart = p.errors.size(); // reading a folder as the results file fails too
        form.reset();
        QCOMPARE(p.errors.size() - atStart, 2);
        QCOMPARE(p.errors.filter("tesseron.ini").size(), 1);
    }

    void settingsAreOwnerOnlyAndReadOnlyFilesStayAsTheyWere() {
        Program p;
        p.StoreResults({"a.test"});
        p.Ini("[Proxy]\nproxyPassword=secret\n");
        ::chmod((p.dir / "tesseron.ini").c_str(), 0644);
        p.Open().reset();
        QVERIFY(p.errors.isEmpty());
        QCOMPARE(fs::status(p.dir / "tesseron.ini").permissions() & fs::perms::all,
                 fs::perms::owner_read | fs::perms::owner_write);

        for (const char* name : {"tesseron.ini", "whois_result.xml"})
            fs::permissions(p.dir / name,
                            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const std::string ini = ReadFile(p.dir / "tesseron.ini");
        const std::string results = ReadFile(p.dir / "whois_result.xml");
        {
            auto form = p.Open();
            form->Results()[0].Delete();
        }
        QCOMPARE(p.errors.size(), 2);
        QCOMPARE(p.errors.filter("Unable to write to").size(), 2);
        QCOMPARE(ReadFile(p.dir / "tesseron.ini"), ini);
        QCOMPARE(ReadFile(p.dir / "whois_result.xml"), results);
    }

    void historyHoldsTheNewestQueries_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("20 results, 8 lines")
            << 20 << 8 << QStringList{"q19", "q18", "q17", "q16", "q15", "q14", "q13", "q12"};
        QTest::newRow("fewer results than lines") << 2 << 8 << QStringList{"q1", "q0"};
        QTest::newRow("one line") << 3 << 1 << QStringList{"q2"};
        QTest::newRow("no lines, as only a hand-edited file says") << 3 << 0 << QStringList{"q2"};
    }
    void historyHoldsTheNewestQueries() {
        QFETCH(int, stored);
        QFETCH(int, lines);
        QFETCH(QStringList, expected);
        Program p;
        std::vector<std::string> queries;
        for (int i = 0; i < stored; ++i)
            queries.push_back("q" + std::to_string(i));
        p.StoreResults(queries);
        p.Ini("[Defaults]\nHistoryLines=" + std::to_string(lines) + "\n");
        auto form = p.Open();
        QCOMPARE(HistoryOf(*form), expected);
        QCOMPARE(Child<QComboBox>(form.get(), "cmbHost")->currentText(), expected.first());
    }

    void queryStoresTheAnswerAndKeepsTheHistory() {
        FakeWhoisServer server(
            WhoisBehaviour::Respond([](const std::string& q) { return "Domain: " + q + "\r\n"; }));
        Program p;
        p.StoreResults({"example.test", "other.test"});
        p.Ini("[Defaults]\nbUseRating=0\nDetermineIpAddress=0\nDetermineReverseName=0\n"
              "PropWNDQuery=0\n");
        auto form = p.Open();
        auto* host = Child<QComboBox>(form.get(), "cmbHost");
        Child<QComboBox>(form.get(), "cmbServerName")
            ->setEditText(QString("127.0.0.1:%1").arg(server.port()));
        host->setEditText("  http://www.example.test:8080/path ");
        auto* query = Child<QAction>(form.get(), "actWhoIs");
        QTRY_VERIFY(query->isEnabled());
        GuardModal();
        query->trigger(); // returns once the progress window has closed by itself
        QCOMPARE(server.Queries(), std::vector<std::string>{"example.test"});
        QCOMPARE(HistoryOf(*form), (QStringList{"example.test", "other.test"}));
        QCOMPARE(form->Results().Count(), 2);
        QCOMPARE(form->View().CurrentResult()->QueryString, std::string("example.test"));
        QVERIFY(Child<QTextEdit>(form.get(), "RichEdit1")
                    ->toPlainText()
                    .contains("Domain: example.test"));
        // An empty server box with automatic choice off leaves nothing to ask.
        Child<QComboBox>(form.get(), "cmbServerName")->setEditText("");
        QTRY_VERIFY(!query->isEnabled());
    }

    // The user sees the name as typed; the zone look-up and the server get its A-labels.
    void internationalisedNameIsShownAsTypedAndSentAsALabels() {
        FakeWhoisServer server(
            WhoisBehaviour::Respond([](const std::string& q) { return "Domain: " + q + "\r\n"; }));
        Program p; // the shipped list, with the zone's server sent to the fake
        p.Ini("[Defaults]\nDetermineIpAddress=0\nDetermineReverseName=0\n");
        auto form = p.Open();
        form->SetConnectTo({{"whois.tcinet.ru", 0, "127.0.0.1", server.port()}});
        Child<QComboBox>(form.get(), "cmbHost")->setEditText("http://www.пример.рф/путь?q#f");
        auto* query = Child<QAction>(form.get(), "actWhoIs");
        QTRY_VERIFY(query->isEnabled());
        GuardModal();
        query->trigger();
        QCOMPARE(server.Queries(), std::vector<std::string>{"xn--e1afmkfd.xn--p1ai"});
        QCOMPARE(HistoryOf(*form).value(0), QString("пример.рф"));
        QCOMPARE(Child<QTreeWidget>(form.get(), "lvResults")->topLevelItem(0)->text(0),
                 QString("пример.рф"));
        QCOMPARE(form->View().CurrentResult()->QueryString, std::string("пример.рф"));
    }

    void refreshGoesOverTheSelectedRowsTopToBottom() {
        FakeWhoisServer server(
            WhoisBehaviour::Respond([](const std::string& q) { return "fresh " + q; }));
        Program p;
        p.StoreResults({"a.test", "b.test", "c.test"});
        p.Ini("[Defaults]\nbUseRating=0\nDetermineIpAddress=0\nDetermineReverseName=0\n");
        auto form = p.Open();
        Child<QComboBox>(form.get(), "cmbServerName")
            ->setEditText(QString("127.0.0.1:%1").arg(server.port()));
        auto* list = Child<QTreeWidget>(form.get(), "lvResults");
        list->clearSelection();
        list->topLevelItem(2)->setSelected(true); // a.test, the oldest
        list->topLevelItem(0)->setSelected(true); // c.test, the newest
        GuardModal();
        Child<QAction>(form.get(), "actResultUpdate")->trigger();
        QCOMPARE(server.Queries(), (std::vector<std::string>{"c.test", "a.test"}));
        const auto& results = form->Results();
        QCOMPARE(results.Count(), 3);
        QCOMPARE(results[0].RawAnswer, std::string("fresh a.test")); // refreshed in place
        QCOMPARE(results[1].RawAnswer, std::string("old answer of b.test"));
        QCOMPARE(results[2].RawAnswer, std::string("fresh c.test"));
    }

    void handOverTexts_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("minimised");
        QTest::newRow("minimize to the tray")
            << QByteArray("-minimize") << true << "keep" << false << false;
        QTest::newRow("minimize without a tray")
            << QByteArray("-minimize") << false << "keep" << true << true;
        QTest::newRow("trailing blank")
            << QByteArray("-minimize ") << true << "-minimize" << true << false;
        QTest::newRow("capitals") << QByteArray("-MINIMIZE") << true << "-MINIMIZE" << true
                                  << false;
        QTest::newRow("web address") << QByteArray("https://www.example.test:8080/a") << true
                                     << "www.example.test" << true << false;
        QTest::newRow("empty") << QByteArray() << true << "keep" << true << false;
    }
    void handOverTexts() {
        QFETCH(QByteArray, payload);
        QFETCH(bool, tray);
        QFETCH(QString, address);
        QFETCH(bool, visible);
        QFETCH(bool, minimised);
        Program p;
        p.tray = tray;
        auto form = p.Open();
        auto* host = Child<QComboBox>(form.get(), "cmbHost");
        host->setEditText("keep");
        form->show();
        form->HandOver(payload);
        QCOMPARE(host->currentText(), address);
        QCOMPARE(form->isVisible(), visible);
        QCOMPARE(form->isMinimized(), minimised);
        QCOMPARE(Child<QTreeWidget>(form.get(), "lvResults")->topLevelItemCount(), 0); // no query
    }

    void whoisLinkNamesItsAddressWithFilteringOff() {
        Program p;
        p.Ini("[Defaults]\nbSmartFilterURL=0\n");
        auto form = p.Open();
        auto* host = Child<QComboBox>(form.get(), "cmbHost");
        form->HandOver("whois://b%C3%BCcher.example/");
        QCOMPARE(host->currentText(), QString::fromUtf8("b\xC3\xBC"
                                                        "cher.example"));
        form->HandOver("https://www.example.test/a"); // other text is left to the filter
        QCOMPARE(host->currentText(), QString("https://www.example.test/a"));
    }

    void startHiddenKeepsTheWindowReachable() {
        Program p;
        p.tray = true;
        auto hidden = p.Open();
        hidden->StartHidden();
        hidden->ShowAtStart();
        QVERIFY(!hidden->isVisible());
        Child<QAction>(hidden.get(), "actShowMainForm")->trigger();
        QVERIFY(hidden->isVisible());
        // A plain second start hands an empty text over: the window comes out of the tray.
        hidden->HandOver("-minimize");
        QVERIFY(!hidden->isVisible());
        hidden->HandOver(QByteArray());
        QVERIFY(hidden->isVisible());
        QVERIFY(!hidden->isMinimized());
        hidden.reset();
        p.tray = false; // no notification area: started minimised instead
        auto minimised = p.Open();
        minimised->StartHidden();
        minimised->ShowAtStart();
        QVERIFY(minimised->isVisible());
        QVERIFY(minimised->isMinimized());
    }

    void splitterRefusesANarrowQueryPanel_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("via"); // a first mouse move, 0: none
        QTest::addColumn<int>("dragTo");
        QTest::addColumn<int>("expected");
        QTest::newRow("200 stops at 225") << 300 << 0 << 200 << 225;
        QTest::newRow("past the limit from 246 stops at 225") << 300 << 246 << 220 << 225;
        QTest::newRow("225 accepted") << 300 << 0 << 225 << 225;
        QTest::newRow("stored 100 applied, not reproducible") << 100 << 0 << 150 << 100;
    }
    void splitterRefusesANarrowQueryPanel() {
        QFETCH(int, stored);
        QFETCH(int, via);
        QFETCH(int, dragTo);
        QFETCH(int, expected);
        Program p;
        p.StoreResults({"a-very-long-name-that-makes-the-address-box-wide.example.test"});
        p.Ini("[Defaults]\npnlQureyWidth=" + std::to_string(stored) + "\n");
        auto form = p.Open();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->QueryPanelWidth(), stored);
        QSplitterHandle* handle = Child<QSplitter>(form.get(), "Splitter1")->handle(1);
        const QPoint grip(handle->width() / 2, handle->height() / 2);
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        if (via) QTest::mouseMove(handle, grip + QPoint(via - stored, 0));
        QTest::mouseMove(handle, grip + QPoint(dragTo - stored, 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(dragTo - stored, 0));
        QCOMPARE(form->QueryPanelWidth(), expected);
        form.reset();
        QVERIFY(
            ReadFile(p.dir / "tesseron.ini").find("pnlQureyWidth=" + std::to_string(expected)) !=
            std::string::npos);
    }

    void languageMenuListsLngFilesInAnyLetterCase() {
        Program p;
        p.dir.Write("languages/GERMAN.LNG", "[Translations]\r\n");
        p.dir.Write("languages/notes.txt", "");
        auto form = p.Open();
        QStringList names;
        for (QAction* item : Child<QMenu>(form.get(), "mnChangeLang")->actions())
            names << item->data().toString();
        names.sort();
        QCOMPARE(names, (QStringList{"GERMAN.LNG", "english.lng", "russian.lng"}));
    }

    void languageSwitchChangesCaptions() {
        Program p;
        auto form = p.Open();
        auto* query = Child<QAction>(form.get(), "actWhoIs");
        auto* menu = Child<QMenu>(form.get(), "mnChangeLang");
        QCOMPARE(menu->actions().size(), 2);
        QAction* russian = nullptr;
        for (QAction* item : menu->actions()) {
            QCOMPARE(item->isChecked(), item->data().toString() == "english.lng");
            if (item->data().toString() == "russian.lng") russian = item;
        }
        QVERIFY(russian);
        QCOMPARE(query->text(), QString("&Query"));
        russian->trigger();
        QCOMPARE(p.settings.DefaultLang, std::string("russian.lng"));
        QVERIFY(russian->isChecked());
        QCOMPARE(query->text(), QString::fromUtf8("&Запрос"));
        QCOMPARE(Child<QCheckBox>(form.get(), "cbUseRating")->text(),
                 QString::fromUtf8("&Использовать рейтинг"));
        const QString asDomain = Child<QCheckBox>(form.get(), "cbAsDomain")->text().remove('&');
        QVERIFY2(asDomain.contains(QString::fromUtf8("как домен")) &&
                     !asDomain.contains(QString::fromUtf8("домена")),
                 qPrintable(asDomain));
        QCOMPARE(Child<QMenu>(form.get(), "mnFile")->title(), QString::fromUtf8("&Файл"));
        QCOMPARE(Child<QTreeWidget>(form.get(), "lvResults")->headerItem()->text(0),
                 QString::fromStdString(form->Messages().sAddress));
        QVERIFY(form->Messages().sAddress != "Address");
    }

    // The question box and the save dialog speak the chosen language.
    void qtTextsFollowTheLanguage_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("question");
        QTest::addColumn<QStringList>("save"); // title, filter, name label, type label
        QTest::addColumn<QStringList>("saveButtons");
        QTest::newRow("english") << "english.lng" << QStringList{"&No", "&Yes"}
                                 << QStringList{"Save to file", "Text files (*.txt)",
                                                "File &name:", "Files of type:"}
                                 << QStringList{"&Save", "Cancel"};
        QTest::newRow("russian") << "russian.lng"
                                 << QStringList{QString::fromUtf8("&Да"), QString::fromUtf8("&Нет")}
                                 << QStringList{QString::fromUtf8("Сохранить в файл"),
                                                QString::fromUtf8("Текстовые файлы (*.txt)"),
                                                QString::fromUtf8("&Имя файла:"),
                                                QString::fromUtf8("Тип файлов:")}
                                 << QStringList{QString::fromUtf8("&Сохранить"),
                                                QString::fromUtf8("Отмена")};
    }
    void qtTextsFollowTheLanguage() {
        QFETCH(QString, language);
        QFETCH(QStringList, question);
        QFETCH(QStringList, save);
        Program p;
        p.realBoxes = true;
        p.StoreResults({"example.test"});
        p.Ini("[Defaults]\nDefaultLang=" + language.toStdString() + "\n");
        auto form = p.Open();
        WithModal<QMessageBox>([&] { Child<QAction>(form.get(), "actClear")->trigger(); },
                               [&](QMessageBox& box) {
                                   QCOMPARE(ButtonTexts(*box.findChild<QDialogButtonBox*>()),
                                            question);
                               });
        QCOMPARE(form->Results().Count(), 1); // closing the box is not Yes
        WithModal<QFileDialog>(
            [&] { Child<QAction>(form.get(), "actSaveToFile")->trigger(); },
            [&](QFileDialog& dialog) {
                QCOMPARE(dialog.testOption(QFileDialog::DontUseNativeDialog), true);
                QCOMPARE((QStringList{dialog.windowTitle(), dialog.nameFilters().value(0),
                                      Child<QLabel>(&dialog, "fileNameLabel")->text(),
                                      Child<QLabel>(&dialog, "fileTypeLabel")->text()}),
                         save);
                QTEST(ButtonTexts(*Child<QDialogButtonBox>(&dialog, "buttonBox")), "saveButtons");
                QCOMPARE(dialog.selectedFiles().value(0).section('/', -1), "example.test.txt");
            });
    }

    // The help actions and Send E-mail reach the desktop through its services only, in the
    // two forms of the hand-over; a mail nobody took is reported.
    void helpActionsAndMailReachTheDesktop_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("url"); // "%1": the program folder
        QTest::addColumn<QString>("mailError");
        QTest::newRow("home page") << "actHome"
                                   << "https://tesseron-whois.org"
                                   << "";
        QTest::newRow("mail to the maker") << "actMail"
                                           << "mailto:support@tesseron-whois.org"
                                           << "";
        QTest::newRow("version history") << "actWhatNew"
                                         << "file://%1/history.txt"
                                         << "";
        QTest::newRow("result mailed") << "actSendEmail"
                                       << ""
                                       << "";
        QTest::newRow("mail not taken") << "actSendEmail"
                                        << ""
                                        << "no mail program";
    }
    void helpActionsAndMailReachTheDesktop() {
        QFETCH(QString, action);
        QFETCH(QString, url);
        QFETCH(QString, mailError);
        Program p;
        p.StoreResults({"a.test", "b.test"});
        p.desktop.mailError = mailError.toStdString();
        auto form = p.Open();
        auto* list = Child<QTreeWidget>(form.get(), "lvResults");
        list->clearSelection();
        list->topLevelItem(1)->setSelected(true); // the older one: a.test
        Child<QAction>(form.get(), qPrintable(action))->trigger();
        if (!url.isEmpty()) {
            const QString folder = QString::fromStdString(p.paths.dataDir.string());
            QCOMPARE(p.desktop.urls, QList<QUrl>{QUrl(url.arg(folder))});
            QVERIFY(p.desktop.mails.empty());
            return;
        }
        QVERIFY(p.desktop.urls.isEmpty());
        QCOMPARE(p.desktop.mails.size(), size_t(1));
        const auto& mail = p.desktop.mails.front();
        QCOMPARE(
            (QStringList{QString::fromStdString(mail.subject), QString::fromStdString(mail.body),
                         QString::fromStdString(mail.query)}),
            (QStringList{"Tesseron Result", "old answer of a.test", "a.test"}));
        QCOMPARE(p.errors, mailError.isEmpty() ? QStringList() : QStringList{mailError});
    }

    // The counters are always in view and whole; a text that fits is shown whole, one
    // that does not is cut with its whole text in the panel's tool tip. With an empty
    // reverse name everything fits at the designed size, in either language.
    void statusPanelsReadable_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("reverseName");
        QTest::addColumn<bool>("allWhole");
        for (const char* language : {"english.lng", "russian.lng"}) {
            QTest::addRow("%s 722", language) << language << 722 << "" << true;
            QTest::addRow("%s 722 reverse", language)
                << language << 722 << "edge.example.net" << false;
            QTest::addRow("%s 1000 reverse", language)
                << language << 1000 << "edge.example.net" << true;
        }
    }
    void statusPanelsReadable() {
        QFETCH(QString, language);
        QFETCH(int, width);
        QFETCH(QString, reverseName);
        QFETCH(bool, allWhole);
        Program p;
        p.StoreFullResult(reverseName.toStdString());
        p.Ini("[Defaults]\nDefaultLang=" + language.toStdString() + "\n");
        auto form = p.Open();
        form->show();
        form->resize(width, 564);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto* panels = Child<QWidget>(form.get(), "StatusPanels");
        QTRY_VERIFY(panels->width() > width - 40);
        const QVariantList rects = panels->property("panelRects").toList();
        const QStringList texts = panels->property("panelTexts").toStringList();
        QCOMPARE(texts.size(), 8);
        QVERIFY(!texts[5].isEmpty() && !texts[6].isEmpty());
        const QFontMetrics metrics(panels->font());
        const int textX[] = {20, 1, 1, 1, 1, 20, 16, 1};
        int cut = 0;
        for (int i = 0; i < 7; ++i) {
            if (texts[i].isEmpty()) continue;
            const QRect rect = rects[i].toRect();
            QVERIFY2(rect.left() >= 0 && rect.right() < panels->width(), qPrintable(texts[i]));
            if (textX[i] + metrics.horizontalAdvance(texts[i]) + 2 <= rect.width()) continue;
            QVERIFY2(i < 5 && !allWhole, qPrintable(texts[i]));
            ++cut;
            QHelpEvent help(QEvent::ToolTip, rect.center(), panels->mapToGlobal(rect.center()));
            QApplication::sendEvent(panels, &help);
            QTRY_COMPARE(QToolTip::text(), texts[i]);
        }
        QCOMPARE(cut > 0, !allWhole);
    }

    // Tab and Backtab move the focus through the answer pane, never into its text.
    void tabLeavesTheAnswerPane() {
        Program p;
        p.StoreResults({"example.test"});
        auto form = p.Open();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        auto* pane = Child<QTextEdit>(form.get(), "RichEdit1");
        const QString answer = pane->toPlainText();
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            pane->setFocus();
            QVERIFY(pane->hasFocus());
            QTest::keyClick(pane, key);
            QVERIFY(!pane->hasFocus());
            QCOMPARE(pane->toPlainText(), answer);
        }
    }

    // An empty list needs no sideways scrolling, and a stored date is never cut.
    void resultsListFitsItsColumns_data() {
        QTest::addColumn<int>("panel");
        QTest::addColumn<bool>("rows");
        QTest::newRow("empty, designed width") << 225 << false;
        QTest::newRow("empty, default width") << 300 << false;
        QTest::newRow("rows, designed width") << 225 << true;
        QTest::newRow("rows, default width") << 300 << true;
    }
    void resultsListFitsItsColumns() {
        QFETCH(int, panel);
        QFETCH(bool, rows);
        Program p;
        if (rows) p.StoreFullResult("");
        p.Ini("[Defaults]\npnlQureyWidth=" + std::to_string(panel) + "\n");
        auto form = p.Open();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto* list = Child<QTreeWidget>(form.get(), "lvResults");
        QTest::qWait(50); // the header settles its sections after the first layout
        if (!rows) {
            QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
            return;
        }
        const QString date = list->topLevelItem(0)->text(2);
        QVERIFY(list->header()->sectionSize(2) >= list->fontMetrics().horizontalAdvance(date));
        if (panel >= 300) QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
    }

    // Each dialog action opens its dialog modally, owned by the window and translated.
    void dialogActionsOpenTheirDialogs_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("server browser") << "actEditServ"
                                        << "dlgShowServers";
        QTest::newRow("list update") << "actUpdateRating"
                                     << "dlgUpdateRating";
        QTest::newRow("options") << "actOptions"
                                 << "dlgOptions";
        QTest::newRow("about") << "actAbout"
                               << "AboutBox";
    }
    void dialogActionsOpenTheirDialogs() {
        QFETCH(QString, action);
        QFETCH(QString, dialog);
        Program p;
        auto form = p.Open();
        QString seen;
        QWidget* seenParent = nullptr;
        Qt::WindowFlags flags;
        bool fixedSize = false;
        QTimer::singleShot(0, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                seen = modal->objectName();
                seenParent = modal->parentWidget();
                flags = modal->windowFlags();
                fixedSize = modal->minimumSize() == modal->maximumSize();
                modal->close();
            }
        });
        Child<QAction>(form.get(), action.toUtf8().constData())->trigger();
        QCOMPARE(seen, dialog);
        QCOMPARE(seenParent, static_cast<QWidget*>(form.get()));
        // A fixed border: nothing to minimise or maximise the dialog with.
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(fixedSize);
    }

    // The list update refreshes the registries' files too, and the window uses them at once.
    void listUpdateRefreshesTheRegistries() {
        auto routes = BootstrapRoutes(kNewFiles);
        routes["/whois.xml"] = {200,
                                {"<whois><domains><zone><suffix>.aa</suffix></zone>"
                                 "</domains></whois>"}};
        HttpServer server(routes);
        Program p;
        p.Ini("[Default]\nWhoisFileLink=" + server.Url("/whois.xml") +
              "\nRdapBootstrapUrl=" + server.Url("/rdap/") + "\n");
        auto form = p.Open();
        QVERIFY(!form->Registries().FindDomain("a.zz"));
        QTimer::singleShot(0, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                QTest::mouseClick(Child<QPushButton>(modal, "btnUpdate"), Qt::LeftButton);
        });
        GuardModal();
        Child<QAction>(form.get(), "actUpdateRating")->trigger();
        QCOMPARE(p.errors, QStringList());
        QCOMPARE(form->Registries().FindDomain("a.zz")->zone, std::string("zz"));
        QCOMPARE(ReadFile(p.dir / "rdap" / "dns.json"), kNewFiles.at("dns.json"));
        QVERIFY(fs::exists(p.dir / "rdap" / "dns.json.backup"));
    }

    // While a modal dialog is open nothing takes the window from the user: minimising does
    // not send it to the tray, and a hand-over or the tray brings the dialog to the front.
    void modalDialogKeepsTheWindowReachable_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("inTrayAfter"); // once the dialog has closed
        QTest::newRow("minimize hand-over") << QByteArray("-minimize") << true;
        QTest::newRow("second start") << QByteArray() << false;
        QTest::newRow("tray click") << QByteArray("tray") << false;
    }
    void modalDialogKeepsTheWindowReachable() {
        QFETCH(QByteArray, payload);
        QFETCH(bool, inTrayAfter);
        Program p;
        p.tray = true;
        auto form = p.Open();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        bool mainVisible = false, dialogInFront = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            // The window manager minimises the dialog together with its owner.
            form->showMinimized();
            modal->showMinimized();
            QTest::qWait(50);
            mainVisible = form->isVisible();
            if (payload == "tray")
                Child<QAction>(form.get(), "actShowMainForm")->trigger();
            else
                form->HandOver(payload);
            dialogInFront = modal->isVisible() && !modal->isMinimized() &&
                            QApplication::activeModalWidget() == modal;
            modal->close();
        });
        Child<QAction>(form.get(), "actAbout")->trigger();
        QVERIFY(mainVisible);
        QVERIFY(dialogInFront);
        // Still minimised when the dialog closes, the window goes to the tray only then.
        QCOMPARE(form->isVisible(), !inTrayAfter);
    }

    // The settings file gets the state the user last saw, and the next start honours it.
    void windowStateIsWhatTheUserLastSaw_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("minimise"); // shown, then minimised to the tray
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("nextStartVisible");
        QTest::newRow("hidden run keeps normal") << "0" << false << "0" << true;
        QTest::newRow("hidden run keeps maximised") << "2" << false << "2" << true;
        QTest::newRow("hidden run, nothing stored") << "" << false << "0" << true;
        QTest::newRow("hidden run keeps the tray") << "1" << false << "1" << false;
        QTest::newRow("minimised to the tray") << "0" << true << "1" << false;
    }
    void windowStateIsWhatTheUserLastSaw() {
        QFETCH(QString, stored);
        QFETCH(bool, minimise);
        QFETCH(QString, written);
        QFETCH(bool, nextStartVisible);
        Program p;
        p.tray = true;
        if (!stored.isEmpty()) p.Ini("[Window State]\nWindowState=" + stored.toStdString() + "\n");
        {
            auto form = p.Open();
            if (minimise) {
                form->show();
                QVERIFY(QTest::qWaitForWindowExposed(form.get()));
                form->showMinimized();
                QTRY_VERIFY(!form->isVisible()); // in the tray
            } else {
                form->StartHidden();
                form->ShowAtStart();
            }
        } // closed from the tray
        const std::string ini = ReadFile(p.dir / "tesseron.ini");
        QVERIFY2(ini.find("WindowState=" + written.toStdString()) != std::string::npos,
                 ini.c_str());
        auto next = p.Open();
        next->ShowAtStart();
        QCOMPARE(next->isVisible(), nextStartVisible);
        Child<QAction>(next.get(), "actShowMainForm")->trigger();
        QVERIFY(next->isVisible());
        QVERIFY(!next->isMinimized());
    }

    // Every menu item has a mnemonic of its own menu, in both languages; the menu bar's
    // and the window's check boxes' mnemonics differ too.
    void menusHaveMnemonics_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("english") << "english.lng";
        QTest::newRow("russian") << "russian.lng";
    }
    void menusHaveMnemonics() {
        QFETCH(QString, language);
        Program p;
        p.Ini("[Defaults]\nDefaultLang=" + language.toStdString() + "\n");
        auto form = p.Open();
        const auto mnemonicsOf = [](const QList<QAction*>& actions) {
            QStringList keys;
            for (QAction* a : actions)
                if (!a->isSeparator() && a->isVisible()) {
                    const QString key = QKeySequence::mnemonic(a->text()).toString();
                    if (key.isEmpty()) qWarning() << "no mnemonic:" << a->text();
                    keys << key;
                }
            return keys;
        };
        const auto distinct = [](const QStringList& keys) {
            return !keys.contains(QString()) &&
                   QSet<QString>(keys.begin(), keys.end()).size() == keys.size();
        };
        auto* bar = Child<QMenuBar>(form.get(), "MainMenu1");
        QStringList windowKeys = mnemonicsOf(bar->actions());
        for (const char* box : {"cbAsDomain", "cbUseRating"})
            windowKeys
                << QKeySequence::mnemonic(Child<QCheckBox>(form.get(), box)->text()).toString();
        QVERIFY2(distinct(windowKeys), qPrintable(windowKeys.join(' ')));
        for (QMenu* menu : form->findChildren<QMenu*>()) {
            if (menu->objectName() == "mnChangeLang") continue; // file names
            const QStringList keys = mnemonicsOf(menu->actions());
            QVERIFY2(distinct(keys), qPrintable(menu->objectName() + ": " + keys.join(' ')));
        }
    }

    // Alt+F opens the File menu from the address box instead of typing there; Alt alone and
    // F10 reach the menu bar.
    void keyboardReachesTheMenuBar() {
        Program p;
        auto form = p.Open();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto* host = Child<QComboBox>(form.get(), "cmbHost");
        auto* bar = Child<QMenuBar>(form.get(), "MainMenu1");
        auto* file = Child<QMenu>(form.get(), "mnFile");
        host->setFocus();
        host->setEditText("keep");
        QTest::keyClick(host, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(file->isVisible());
        QCOMPARE(host->currentText(), QString("keep"));
        file->close();
        QTRY_VERIFY(!file->isVisible());

        host->setFocus();
        QTest::keyClick(host, Qt::Key_F10);
        QTRY_VERIFY(file->isVisible());
        file->close();

        host->setFocus();
        QTest::keyPress(host, Qt::Key_Alt, Qt::AltModifier);
        QTest::keyRelease(host, Qt::Key_Alt);
        QTRY_COMPARE(bar->activeAction(), file->menuAction());
        QVERIFY(bar->hasFocus());
    }

private:
    TempDir home_;
};

} // namespace tesseron::test

QTEST_MAIN(tesseron::test::MainWindowTest)
#include "test_main_window.moc"
