#include "mainwin/ResultsView.h"
#include "support/FakeDesktop.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QPrinterInfo>
#include <QStatusBar>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest>
#include <map>
#include <memory>

namespace tesseron::test {

// The three widgets in a plain window, the view over a store the test fills, and
// recorders for everything the view hands to the window.
struct Harness {
    QWidget host;
    QTreeWidget* list = new QTreeWidget(&host);
    QTextEdit* pane = new QTextEdit(&host);
    QStatusBar* status = new QStatusBar(&host);
    TWhoisResultCollection results;
    MessageTable messages;
    QString address;
    FakeDesktop desktop;
    QStringList& questions = desktop.questions;
    QStringList& errors = desktop.errors;
    QStringList& proposals = desktop.proposals;
    QList<QUrl>& urls = desktop.urls;
    bool& answerYes = desktop.answerYes;
    QString& saveAs = desktop.saveAs;
    std::map<std::string, std::string> charsets; // by server name
    std::unique_ptr<ResultsView> view;

    explicit Harness(const QStringList& queries = {}) {
        auto* layout = new QVBoxLayout(&host);
        layout->addWidget(list);
        layout->addWidget(pane);
        layout->addWidget(status);
        messages.sAddress = "Address";
        messages.sServer = "Server";
        messages.sDate = "Date";
        messages.sIP = "IP";
        messages.sReverseName = "Reverse name: %s";
        messages.sTLDS = "Zones: %s";
        messages.sServers = "Servers: %s";
        messages.sDeleteAllResult = "Delete all results?";
        for (const QString& query : queries)
            Add(query.toStdString());
        answerYes = false;
        view =
            std::make_unique<ResultsView>(list, pane, status, results, messages, desktop, nullptr);
        QObject::connect(view.get(), &ResultsView::addressChosen,
                         [this](const QString& text) { address = text; });
        view->SetCharsetLookup([this](const std::string& server) {
            const auto found = charsets.find(server);
            return found == charsets.end() ? std::string() : found->second;
        });
        view->LoadResultToListView();
        host.resize(800, 600);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
    }

    TWhoisResultItem& Add(const std::string& query) {
        TWhoisResultItem& item = results.Add();
        item.QueryString = query;
        item.ServerName = "whois." + query;
        item.QueryDate = "01.02.2024 10:00:00";
        item.RawAnswer = "answer for " + query + "\r\nline 2";
        return item;
    }
    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(0);
        return rows;
    }
    QString Current() const {
        const TWhoisResultItem* item = view->CurrentResult();
        return item ? QString::fromStdString(item->QueryString) : QString();
    }
    QStringList Panels() const {
        return status->findChild<QWidget*>("StatusPanels")->property("panelTexts").toStringList();
    }
    QPoint RowCentre(int row) const {
        return list->visualItemRect(list->topLevelItem(row)).center();
    }
    void SelectRows(const QList<int>& rows) {
        list->clearSelection();
        for (int row : rows)
            list->topLevelItem(row)->setSelected(true);
    }
};

class ResultsViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void rebuildShowsNewestFirstWithoutTouchingSelection() {
        Harness h({"a.com", "b.com", "c.com"});
        QCOMPARE(h.Rows(), (QStringList{"c.com", "b.com", "a.com"}));
        QCOMPARE(h.list->topLevelItem(0)->text(1), QString("whois.c.com"));
        QCOMPARE(h.list->headerItem()->text(2), QString("Date"));
        h.SelectRows({1});
        QCOMPARE(h.Current(), QString("b.com"));
        h.Add("d.com");
        h.view->LoadResultToListView();
        QCOMPARE(h.Rows().first(), QString("d.com"));
        QVERIFY(!h.view->HasSelectedRows());
        QCOMPARE(h.Current(), QString("b.com"));
    }

    void rebuildOfAThousandRowsIsQuick() {
        Harness h;
        for (int i = 0; i < 1000; ++i)
            h.Add("host" + std::to_string(i) + ".example");
        QElapsedTimer timer;
        timer.start();
        h.view->LoadResultToListView();
        h.view->LoadResultToListView();
        const qint64 ms = timer.elapsed();
        qInfo("two rebuilds of 1000 rows: %lld ms", static_cast<long long>(ms));
        QCOMPARE(h.list->topLevelItemCount(), 1000);
        QVERIFY2(ms < 1000, "rebuild is far slower than it should be");
    }

    void selectionMakesTheLastSelectedRowCurrent() {
        Harness h({"a.com", "b.com", "c.com"});
        QTest::mouseClick(h.list->viewport(), Qt::LeftButton, {}, h.RowCentre(1));
        QCOMPARE(h.Current(), QString("b.com"));
        QCOMPARE(h.address, QString("b.com"));
        QCOMPARE(h.pane->toPlainText(), QString("answer for b.com\nline 2"));
        QTest::mouseClick(h.list->viewport(), Qt::LeftButton, Qt::ControlModifier, h.RowCentre(0));
        QCOMPARE(h.Current(), QString("c.com"));
        QCOMPARE(h.view->SelectedTopToBottom(),
                 (std::vector<ResultId>{h.results[2].Id(), h.results[1].Id()}));
    }

    void clickBelowTheRowsSelectsTheOldest() {
        Harness h({"a.com", "b.com", "c.com"});
        const QPoint below(10, h.list->viewport()->height() - 5);
        QTest::mouseClick(h.list->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(h.Current(), QString("a.com"));
        QCOMPARE(h.list->currentItem(), h.list->topLevelItem(2));
        QVERIFY(h.list->topLevelItem(2)->isSelected());
        QCOMPARE(h.pane->toPlainText(), QString("answer for a.com\nline 2"));

        Harness empty;
        QTest::mouseClick(empty.list->viewport(), Qt::LeftButton, {}, below);
        QVERIFY(empty.view->CurrentResult() == nullptr);
    }

    void openInBrowserPutsHttpBeforeEachSelectedQuery() {
        Harness h({"http://a.com", "192.0.2.1", "c.com"});
        h.SelectRows({0, 2});
        h.view->OpenInBrowser();
        QCOMPARE(h.urls.size(), 2);
        QCOMPARE(h.urls[0].toString(), QString("http://c.com"));
        QCOMPARE(h.urls[1], QUrl("http://http://a.com")); // a browser reads host "http" too

        h.urls.clear();
        QTest::mouseDClick(h.list->viewport(), Qt::LeftButton, {}, h.RowCentre(1));
        QCOMPARE(h.urls, QList<QUrl>{QUrl("http://192.0.2.1")});

        Harness v6({"2001:db8::1"}); // no valid URL without the brackets
        v6.SelectRows({0});
        v6.view->OpenInBrowser();
        QCOMPARE(v6.urls, QList<QUrl>{QUrl("http://[2001:db8::1]")});
    }

    void deleteSelectsTheRowAtTheFirstPosition_data() {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QStringList>("rowsAfter");
        QTest::addColumn<QString>("currentAfter");
        // Rows are c.com, b.com, a.com.
        QTest::newRow("top two") << QList<int>{0, 1} << QStringList{"a.com"} << "a.com";
        QTest::newRow("top one") << QList<int>{0} << QStringList{"b.com", "a.com"} << "b.com";
        QTest::newRow("last row") << QList<int>{2} << QStringList{"c.com", "b.com"} << "b.com";
        QTest::newRow("apart") << QList<int>{0, 2} << QStringList{"b.com"} << "b.com";
        QTest::newRow("all") << QList<int>{0, 1, 2} << QStringList{} << QString();
    }
    void deleteSelectsTheRowAtTheFirstPosition() {
        QFETCH(QList<int>, selected);
        QFETCH(QStringList, rowsAfter);
        QFETCH(QString, currentAfter);
        Harness h({"a.com", "b.com", "c.com"});
        h.SelectRows(selected);
        h.view->DeleteSelected();
        QCOMPARE(h.Rows(), rowsAfter);
        QCOMPARE(h.results.Count(), rowsAfter.size());
        QCOMPARE(h.Current(), currentAfter);
        if (currentAfter.isEmpty()) {
            QVERIFY(h.pane->toPlainText().isEmpty());
            QCOMPARE(h.Panels().mid(0, 5), QStringList(5, QString()));
        } else {
            QCOMPARE(h.list->currentItem()->text(0), currentAfter);
            QCOMPARE(h.list->selectedItems().size(), 1);
            QVERIFY(h.pane->toPlainText().startsWith("answer for " + currentAfter));
        }
    }

    void clearAllAsksFirst() {
        Harness h({"a.com", "b.com"});
        h.view->SelectResult(&h.results[1]);
        h.view->ClearAll();
        QCOMPARE(h.questions, QStringList{"Delete all results?"});
        QCOMPARE(h.Rows().size(), 2);
        QCOMPARE(h.Current(), QString("b.com"));

        h.answerYes = true;
        h.view->ClearAll();
        QCOMPARE(h.results.Count(), 0);
        QVERIFY(h.Rows().isEmpty());
        QVERIFY(h.pane->document()->isEmpty());
        QVERIFY(h.view->CurrentResult() == nullptr);
    }

    void toolTipLines_data() {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("reverse");
        QTest::addColumn<QStringList>("lines");
        const QString a = "Address: a.com", s = "Server: whois.a.com",
                      d = "Date: 01.02.2024 10:00:00";
        QTest::newRow("both") << "192.0.2.7"
                              << "host.example"
                              << QStringList{a, "IP: 192.0.2.7", "Reverse name: host.example", s,
                                             d};
        QTest::newRow("neither") << ""
                                 << "" << QStringList{a, s, d};
        QTest::newRow("reverse only")
            << ""
            << "r.example" << QStringList{a, "Reverse name: r.example", s, d};
    }
    void toolTipLines() {
        QFETCH(QString, ip);
        QFETCH(QString, reverse);
        QFETCH(QStringList, lines);
        Harness h;
        TWhoisResultItem& item = h.Add("a.com");
        item.IpAddress = ip.toStdString();
        item.ReverseName = reverse.toStdString();
        h.view->LoadResultToListView();
        QCOMPARE(h.view->ToolTipOf(h.list->topLevelItem(0)).split('\n'), lines);
        // A language change reaches the tool tips without a rebuild.
        h.messages.sAddress = "Adresse";
        h.view->SetResultColumnCaptions();
        QVERIFY(h.view->ToolTipOf(h.list->topLevelItem(0)).startsWith("Adresse: a.com"));
        QCOMPARE(h.list->headerItem()->text(0), QString("Adresse"));
    }

    void statusPanelsFollowTheCurrentResult() {
        Harness h({"a.com"});
        h.view->SetCounts(12, 345);
        QCOMPARE(h.Panels(), (QStringList{"", "", "", "", "", "Zones: 12", "Servers: 345", ""}));
        h.results[0].IpAddress = "192.0.2.1";
        h.results[0].ReverseName = "r.example";
        h.view->SelectResult(&h.results[0]);
        QCOMPARE(h.Panels(), (QStringList{"a.com", "whois.a.com", "192.0.2.1", "r.example",
                                          "01.02.2024 10:00:00", "Zones: 12", "Servers: 345", ""}));
    }

    void saveWritesThePaneAsPlainText() {
        Harness h({"example.com"});
        TempDir dir;
        h.results[0].RawAnswer = "caf\xE9 \xA0 \x80\x81\r\nnext";
        h.view->SelectResult(&h.results[0]);
        h.saveAs = QString::fromStdString((dir / "answer").string());
        h.view->SaveToFile();
        QCOMPARE(h.proposals, QStringList{"example.com.txt"});
        QCOMPARE(ReadFile(dir / "answer.txt"), std::string("caf\u00E9 \u00A0 \u20AC\u0081\nnext"));

        // Typed text with no current result: no proposal, still saved.
        h.view->SelectResult(nullptr);
        h.pane->setPlainText("typed");
        QVERIFY(h.view->HasAnswerLines());
        h.saveAs = QString::fromStdString((dir / "typed.txt").string());
        h.view->SaveToFile();
        QCOMPARE(h.proposals.last(), QString());
        QCOMPARE(ReadFile(dir / "typed.txt"), std::string("typed"));

        h.saveAs = QString::fromStdString((dir / "missing" / "x.txt").string());
        h.view->SaveToFile();
        QCOMPARE(h.errors.size(), 1);
        QVERIFY(h.errors[0].startsWith("Cannot create file \"" + h.saveAs + "\". "));
        QCOMPARE(h.pane->toPlainText(), QString("typed"));
    }

    void answersDecodeAsUtf8ElseWindows1252_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("utf-8") << QByteArray("\xC3\xA9t\xC3\xA9")
                               << QString::fromUtf16(u"\u00E9t\u00E9");
        QTest::newRow("bom kept") << QByteArray("\xEF\xBB\xBFx") << QChar(0xFEFF) + QString("x");
        QTest::newRow("1252") << QByteArray("\x80\x9F\xE9")
                              << QString::fromUtf16(u"\u20AC\u0178\u00E9");
        QTest::newRow("unassigned") << QByteArray("\x81\x8D\x8F\x90\x9D")
                                    << QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D");
        QTest::newRow("overlong") << QByteArray("\xC0\xAF") << QString::fromUtf16(u"\u00C0\u00AF");
        QTest::newRow("surrogate")
            << QByteArray("\xED\xA0\x80") << QString::fromUtf16(u"\u00ED\u00A0\u20AC");
    }
    void answersDecodeAsUtf8ElseWindows1252() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(DecodeAnswer(bytes.toStdString()), shown);
    }

    void paneReadsAnswersInTheirServersCharset() {
        Harness h({"a.kg", "b.kg"});
        h.charsets["whois.a.kg"] = "windows-1251";
        h.results[0].RawAnswer = h.results[1].RawAnswer = "\xCF\xF0\xE8";
        h.view->SelectResult(&h.results[0]);
        QCOMPARE(h.pane->toPlainText(), QString::fromUtf16(u"\u041F\u0440\u0438"));
        h.view->SelectResult(&h.results[1]); // no charset known: Windows-1252
        QCOMPARE(h.pane->toPlainText(), QString::fromUtf16(u"\u00CF\u00F0\u00E8"));
        QCOMPARE(h.results[0].RawAnswer, std::string("\xCF\xF0\xE8")); // the store keeps bytes
    }

    void printWithoutPrinterReportsIt() {
        if (!QPrinterInfo::defaultPrinter().isNull()) QSKIP("a default printer exists here");
        Harness h({"a.com"});
        h.view->SelectResult(&h.results[0]);
        h.view->Print();
        QCOMPARE(h.errors, QStringList{"There is no default printer currently selected"});
    }

    void paneActionsFollowItsText() {
        Harness h({"a.com"});
        QVERIFY(!h.view->HasAnswerLines());
        h.view->SelectResult(&h.results[0]);
        QVERIFY(h.view->HasAnswerLines());
        QVERIFY(!h.view->HasAnswerSelection());
        h.view->SelectAll();
        QVERIFY(h.view->HasAnswerSelection());
        QCOMPARE(h.pane->textCursor().selectedText().size(), h.pane->toPlainText().size());
    }
};

} // namespace tesseron::test

QTEST_MAIN(tesseron::test::ResultsViewTest)
#include "test_results_view.moc"
