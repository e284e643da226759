// The progress window driving whole runs against fake WHOIS servers on 127.0.0.1. Names
// are never resolved (DetermineIpAddress and DetermineReverseName off).

#include "locale/LangChanger.h"
#include "locale/Language.h"
#include "locale/QtTranslationTarget.h"
#include "query/QtRunBridge.h"
#include "query/uFrmShowProgress.h"
#include "serverdb/uDomainList.h"
#include "support/FakeServer.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QtTest>

#include <thread>

namespace tesseron::test {
namespace {

using W = WhoisBehaviour;

// One run's world: a server list whose zone "test" is served by one address, a result
// store, short texts.
struct World final : ResultSink {
    explicit World(const std::string& server) {
        const std::string xml = "<?xml version=\"1.0\"?><whois><domains><domain><suffix>test"
                                "</suffix><servers><server><name>n</name><address>" +
                                server + "</address></server></servers></domain></domains></whois>";
        domains.LoadFromFile(dir.Write("whois.xml", xml).string());
        messages.sStartWhois = "start %s";
        messages.sQueryServer = "ask %s";
        messages.sStopWhoisSucces = "done %s";
        messages.sStopWhoisFail = "failed %s";
        messages.sStopWhois = "stopped";
    }
    std::unique_ptr<TfrmShowProgress> Window(std::vector<std::string> addresses, int propWndQuery,
                                             int whoisTimeout = 2000) {
        RunSettings settings;
        settings.DetermineIpAddress = false;
        settings.DetermineReverseName = false;
        settings.PropWNDQuery = static_cast<uint8_t>(propWndQuery);
        settings.whoisTimeout = whoisTimeout;
        return std::make_unique<TfrmShowProgress>(RunRequest{std::move(addresses), {}, true},
                                                  settings, &domains, nullptr, messages, *this,
                                                  nullptr);
    }
    std::optional<QueuedEntry> ReadQueued(ResultId) override { return std::nullopt; }
    std::optional<ResultId> StoreAnswer(const StoreRequest& r) override {
        const TWhoisResultItem* item = StoreResult(results, r, store);
        return item ? std::optional(item->Id()) : std::nullopt;
    }

    TempDir dir;
    TDomainCollection domains;
    MessageTable messages;
    TWhoisResultCollection results;
    StoreSettings store;
};

// "i text" for information lines, "E text" for error lines.
QStringList LogOf(const TfrmShowProgress& w) {
    QStringList lines;
    const auto* log = w.findChild<QTreeWidget*>("lvLog");
    for (int i = 0; i < log->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = log->topLevelItem(i);
        const bool error = item->data(0, TfrmShowProgress::LogImageRole).toInt() == LogError;
        lines << (error ? "E " : "i ") + item->text(0);
    }
    return lines;
}

void PressClose(TfrmShowProgress& w) {
    QTest::mouseClick(w.findChild<QPushButton*>("btnClose"), Qt::LeftButton);
}

} // namespace

class ProgressTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void closesByTheRule_data() {
        QTest::addColumn<int>("prop");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<bool>("closes");
        QTest::newRow("0, success closes") << 0 << false << true;
        QTest::newRow("0, failure stays open") << 0 << true << false;
        QTest::newRow("1, failure closes") << 1 << true << true;
        QTest::newRow("2, success stays open") << 2 << false << false;
    }
    void closesByTheRule() {
        QFETCH(int, prop);
        QFETCH(bool, fails);
        QFETCH(bool, closes);
        FakeWhoisServer answering(W::Answer("Domain: example.test\r\n"));
        RefusingPort refusing;
        const QString server =
            QString("127.0.0.1:%1").arg(fails ? refusing.port() : answering.port());
        World world(server.toStdString());
        auto window = world.Window({"example.test"}, prop);
        TfrmShowProgress& w = *window;

        // Left open, the window is closed with Close once the run has ended.
        bool leftOpen = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (!w.isVisible() || w.RunActive() || leftOpen) return;
            leftOpen = true;
            PressClose(w);
        });
        watch.start(10);
        w.exec();

        QCOMPARE(leftOpen, !closes);
        QVERIFY(!w.RunActive());
        QVERIFY(!w.isVisible());
        const QString end = fails ? "E failed example.test" : "i done example.test";
        QCOMPARE(LogOf(w), QStringList({"i start example.test", "i ask " + server, end}));
        QCOMPARE(world.results.Count(), fails ? 0 : 1);
    }

    void closeStopsASilentServerPromptly() {
        FakeWhoisServer silent(W::Silent());
        const QString server = QString("127.0.0.1:%1").arg(silent.port());
        World world(server.toStdString());
        // No read time-out and PropWNDQuery 2: only the stop can end the run and close.
        auto window = world.Window({"example.test"}, 2, 0);
        TfrmShowProgress& w = *window;
        w.show();
        QTRY_COMPARE_WITH_TIMEOUT(silent.Connections(), 1,
                                  5000); // the UI thread must go on serving the run

        QTest::keyClick(&w, Qt::Key_Escape);
        w.close();
        w.reject();
        QVERIFY(w.isVisible());
        QVERIFY(w.RunActive());

        QElapsedTimer clock;
        clock.start();
        PressClose(w);
        PressClose(w);
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QCOMPARE_LT(clock.elapsed(), 1000);
        QVERIFY(!w.RunActive());
        QCOMPARE(LogOf(w), QStringList({"i start example.test", "i ask " + server, "i stopped",
                                        "i stopped"}));
        QCOMPARE(world.results.Count(), 0);
    }

    void staysResponsiveAndAnimatesDuringARun() {
        FakeWhoisServer slow(W::Delayed(500, "Domain: example.test\r\n"));
        World world("127.0.0.1:" + std::to_string(slow.port()));
        auto window = world.Window({"example.test"}, 0);
        TfrmShowProgress& w = *window;
        const auto* animation = w.findChild<SearchAnimation*>("Animate1");
        int ticks = 0;
        bool animatedAll = true;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] {
            if (!w.RunActive()) return;
            ++ticks;
            animatedAll = animatedAll && animation->IsRunning();
        });
        tick.start(10);
        w.exec();
        QCOMPARE_GE(ticks, 15); // the 500 ms wait did not block the UI thread
        QVERIFY(animatedAll);
        QVERIFY(!animation->IsRunning());
    }

    void aLongLogShowsItsNewestLine() {
        FakeWhoisServer server(W::Answer("x\r\n"));
        World world("127.0.0.1:" + std::to_string(server.port()));
        std::vector<std::string> names;
        for (int i = 0; i < 20; ++i)
            names.push_back("n" + std::to_string(i) + ".test");
        auto window = world.Window(names, 2);
        TfrmShowProgress& w = *window;
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(!w.RunActive(), 10000);
        const auto* log = w.findChild<QTreeWidget*>("lvLog");
        QCOMPARE(log->topLevelItemCount(), 60);
        const QTreeWidgetItem* last = log->topLevelItem(59);
        QCOMPARE(last->text(0), QString("done n19.test"));
        QVERIFY(log->viewport()->rect().contains(log->visualItemRect(last)));
        PressClose(w);
        QVERIFY(!w.isVisible());
    }

    // Every line can be read to its end: a long one widens the log, which then scrolls
    // sideways, and each line carries its whole text as a tool tip.
    void longLinesCanBeReadWhole_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("short") << "a.test" << false;
        QTest::newRow("long") << QString(90, 'x') + ".test" << true;
    }
    void longLinesCanBeReadWhole() {
        QFETCH(QString, name);
        QFETCH(bool, scrolls);
        FakeWhoisServer server(W::Answer("x\r\n"));
        World world("127.0.0.1:" + std::to_string(server.port()));
        auto window = world.Window({name.toStdString()}, 2);
        TfrmShowProgress& w = *window;
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(!w.RunActive(), 10000);
        auto* log = w.findChild<QTreeWidget*>("lvLog");
        QCOMPARE(log->topLevelItemCount(), 3);
        QTRY_COMPARE(log->horizontalScrollBar()->maximum() > 0, scrolls);
        for (int i = 0; i < log->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* line = log->topLevelItem(i);
            QCOMPARE(line->toolTip(0), line->text(0));
            QVERIFY(log->columnWidth(0) >= log->fontMetrics().horizontalAdvance(line->text(0)));
        }
        PressClose(w);
    }

    // The language files address the window's parts by these names.
    void languageFileNamesItsParts() {
        TempDir dir;
        const auto file =
            dir.Write("russian.lng", ReadFile(TESSERON_SOURCE_DIR "/data/languages/russian.lng"));
        World world("127.0.0.1:1");
        auto window = world.Window({}, 0);
        TfrmShowProgress& w = *window;
        TLangChanger changer;
        changer.SetLangFile(file.string());
        QtTranslationTarget form(&w);
        changer.TranslateForm(form);
        QCOMPARE(w.findChild<QPushButton*>("btnClose")->text(), QString("Закрыть"));
        QCOMPARE(w.findChild<QLabel*>("lblAnswerInfo")->text(), QString("Ожидание ответа..."));
    }

    // Calls from the worker run on the UI thread; calls there go straight through;
    // a callback's exception reaches the caller.
    void bridgeRunsCallsOnTheUiThread() {
        struct Target final : RunLog, ResultSink {
            QThread* ranOn = nullptr;
            void AddLogLine(LogImage, const std::string&) override {
                ranOn = QThread::currentThread();
            }
            void EndOfRun(bool) override {}
            std::optional<QueuedEntry> ReadQueued(ResultId) override { return std::nullopt; }
            std::optional<ResultId> StoreAnswer(const StoreRequest& r) override {
                if (r.QueryString.empty()) throw std::runtime_error("refused");
                return ResultId{42};
            }
        } target;
        QObject home;
        QtMarshaller marshaller(&home);
        QtRunLog log(marshaller, target);
        QtResultSink sink(marshaller, target);
        log.AddLogLine(LogInformation, "direct"); // would deadlock if queued
        QCOMPARE(target.ranOn, QThread::currentThread());

        target.ranOn = nullptr;
        std::optional<ResultId> stored;
        std::string refusal;
        bool missing = false;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            log.AddLogLine(LogError, "from the worker");
            StoreRequest request;
            request.QueryString = "example.test";
            stored = sink.StoreAnswer(request);
            try {
                sink.StoreAnswer(StoreRequest{});
            } catch (const std::runtime_error& e) {
                refusal = e.what();
            }
            missing = !sink.ReadQueued(7).has_value();
            done = true;
        });
        QTRY_VERIFY(done.load());
        worker.join();
        QCOMPARE(target.ranOn, QThread::currentThread());
        QCOMPARE(stored, std::optional<ResultId>(42));
        QCOMPARE(refusal, std::string("refused"));
        QVERIFY(missing);
    }

    // A refusal releases a worker waiting for a busy UI thread at once, and the refused
    // call never runs; later calls are refused until the marshaller opens again.
    void refusalReleasesAWaitingCall() {
        QObject home;
        QtMarshaller marshaller(&home);
        std::vector<int> ran; // touched on the UI thread only
        std::atomic<int> refused{0};
        const auto call = [&](int n) {
            try {
                marshaller.Call([&ran, n] { ran.push_back(n); });
            } catch (const CallRefused&) {
                ++refused;
            }
        };
        std::atomic<bool> posted{false};
        std::thread worker([&] {
            posted = true;
            call(1); // waits: the UI thread serves no events until the refusal
            call(2);
        });
        while (!posted)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // call 1 is queued by now
        marshaller.Refuse();
        worker.join(); // a refusal that missed the waiting call would hang here
        QCoreApplication::processEvents();
        QCOMPARE(refused.load(), 2);
        QVERIFY(ran.empty());

        marshaller.Open();
        std::thread again([&] { call(3); });
        QTRY_COMPARE(ran, std::vector<int>{3});
        again.join();
    }

    // Destroying the window while the worker waits for the UI thread ends the run promptly;
    // what was stored before stays, nothing more is stored.
    void closingWhileTheRunWaitsKeepsWhatWasStored() {
        FakeWhoisServer server({W::Answer("Domain: a.test\r\n"), W::Delayed(200, "b\r\n")});
        World world("127.0.0.1:" + std::to_string(server.port()));
        auto window = world.Window({"a.test", "b.test"}, 2);
        window->show();
        QTRY_COMPARE_WITH_TIMEOUT(world.results.Count(), 1, 5000);
        // Busy: meanwhile b.test is answered, and the worker's call to store it waits.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        QElapsedTimer clock;
        clock.start();
        window.reset();
        QCOMPARE_LT(clock.elapsed(), 1000);
        QCoreApplication::processEvents(); // a refused call must not run now
        QCOMPARE(world.results.Count(), 1);
        QCOMPARE(world.results[0].QueryString, std::string("a.test"));
        QCOMPARE(world.results[0].RawAnswer, std::string("Domain: a.test\r\n"));
    }

    // Last: once the application quits, no event loop of this thread runs again.
    void quittingDuringARunEndsItBeforeExecReturns() {
        FakeWhoisServer silent(W::Silent());
        World world("127.0.0.1:" + std::to_string(silent.port()));
        auto window = world.Window({"example.test"}, 2, 0);
        TfrmShowProgress& w = *window;
        QTimer quit;
        connect(&quit, &QTimer::timeout, [&] {
            if (silent.Connections() == 1) QCoreApplication::exit(0); // e.g. SIGTERM
        });
        quit.start(10);
        QElapsedTimer clock;
        clock.start();
        w.exec();
        QVERIFY(!w.RunActive());
        QCOMPARE_LT(clock.elapsed(), 3000);
        QCOMPARE(world.results.Count(), 0);
    }
};

} // namespace tesseron::test

QTEST_MAIN(tesseron::test::ProgressTest)
#include "test_progress.moc"
