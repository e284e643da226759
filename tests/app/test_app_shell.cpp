#include "app/HandOver.h"
#include "app/SignalWatcher.h"
#include "app/TesseronApplication.h"
#include "desktop/CenteredMessage.h"
#include "support/TempDir.h"

#include <QIcon>
#include <QImageReader>
#include <QLocalSocket>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <future>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>

namespace tesseron::test {
namespace {

// SendHandOver blocks, so it runs on another thread while this one serves the window side.
template <typename Work> auto WhileServing(Work work) {
    auto result = std::async(std::launch::async, std::move(work));
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return result.get();
}

QByteArray Framed(quint32 length, const QByteArray& body) {
    QByteArray message(4, '\0');
    qToBigEndian(length, message.data());
    return message + body;
}

// Sends raw bytes as a misbehaving client would; true when an acknowledgement came back.
bool SendRaw(const QString& name, const QByteArray& bytes, bool closeAfterwards) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(2000)) return false;
    socket.write(bytes);
    socket.waitForBytesWritten(2000);
    if (closeAfterwards) {
        socket.disconnectFromServer();
        return false;
    }
    return socket.waitForReadyRead(2000) && socket.bytesAvailable() > 0;
}

// A socket file that nobody listens on, as a crashed window leaves it.
void MakeStaleSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

class Thrower : public QObject {
    Q_OBJECT
public slots:
    void Fail(const QString& message) {
        if (message.isEmpty()) throw 42; // not a std::exception
        throw std::runtime_error(message.toStdString());
    }
};

} // namespace

class AppShellTest : public QObject {
    Q_OBJECT
    TempDir dir_;
    QString Name(const char* file) const { return QString::fromStdString((dir_ / file).string()); }

private slots:
    void handOverCarriesExactBytes_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("address") << QByteArray("example.com");
        QTest::newRow("minimize") << QByteArray("-minimize");
        QTest::newRow("minimize and a blank") << QByteArray("-minimize ");
        QTest::newRow("utf-8") << QByteArray("bücher.de – ☃");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("nul and high bytes") << QByteArray("a\0b\xff\r\n", 6);
        QTest::newRow("largest") << QByteArray(HandOverServer::kMaxPayload, 'x');
    }
    void handOverCarriesExactBytes() {
        QFETCH(QByteArray, payload);
        const QString name = Name("exact");
        HandOverServer server(name, nullptr);
        QVERIFY(server.Listen());
        QSignalSpy spy(&server, &HandOverServer::received);
        QVERIFY(WhileServing([&] { return SendHandOver(payload, 3000, name); }));
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toByteArray(), payload);
    }

    void malformedConnectionsAreDropped_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("closeAfterwards");
        const auto limit = static_cast<quint32>(HandOverServer::kMaxPayload);
        QTest::newRow("oversized") << Framed(limit + 1, QByteArray(4096, 'x')) << false;
        QTest::newRow("huge length") << Framed(0xffffffffu, "abc") << false;
        QTest::newRow("two payloads") << Framed(3, "abc") + Framed(3, "def") << false;
        QTest::newRow("short header") << QByteArray("\0\0", 2) << true;
        QTest::newRow("short payload") << Framed(10, "abc") << true;
    }
    void malformedConnectionsAreDropped() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, closeAfterwards);
        const QString name = Name("malformed");
        HandOverServer server(name, nullptr);
        QVERIFY(server.Listen());
        QSignalSpy spy(&server, &HandOverServer::received);
        QVERIFY(!WhileServing([&] { return SendRaw(name, bytes, closeAfterwards); }));
        // The window still takes the next hand-over, and only that one.
        QVERIFY(WhileServing([&] { return SendHandOver("next.org", 3000, name); }));
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("next.org"));
    }

    void refusedHandOverIsFalse_data() {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("no window") << false << QByteArray("example.com");
        QTest::newRow("oversized") << true << QByteArray(HandOverServer::kMaxPayload + 1, 'x');
    }
    void refusedHandOverIsFalse() {
        QFETCH(bool, listening);
        QFETCH(QByteArray, payload);
        const QString name = Name("refused");
        HandOverServer server(name, nullptr);
        QVERIFY(!listening || server.Listen());
        QSignalSpy spy(&server, &HandOverServer::received);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!WhileServing([&] { return SendHandOver(payload, 2000, name); }));
        QVERIFY(clock.elapsed() < 1000); // refused at once, not timed out
        QCoreApplication::processEvents();
        QCOMPARE(spy.count(), 0);
    }

    void staleSocketFileIsReplaced() {
        const QString name = Name("stale");
        MakeStaleSocket(name.toStdString());
        HandOverServer server(name, nullptr);
        QVERIFY(server.Listen());
        struct stat info {};
        QCOMPARE(::stat(name.toLocal8Bit().constData(), &info), 0);
        QVERIFY(S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_mode & 077, 0u); // the user's only
        QSignalSpy spy(&server, &HandOverServer::received);
        QVERIFY(WhileServing([&] { return SendHandOver("-minimize", 3000, name); }));
        QTRY_COMPARE(spy.count(), 1);
    }

    void liveWindowKeepsItsSocket() {
        const QString name = Name("live");
        auto first = std::make_unique<HandOverServer>(name, nullptr);
        QVERIFY(first->Listen());
        QSignalSpy spy(first.get(), &HandOverServer::received);
        {
            HandOverServer second(name, nullptr);
            QVERIFY(!second.Listen());
        }
        QVERIFY(WhileServing([&] { return SendHandOver("a.net", 3000, name); }));
        QTRY_COMPARE(spy.count(), 1);
        first.reset();
        HandOverServer third(name, nullptr);
        QVERIFY(third.Listen()); // the path is free again once the first window has gone
    }

    void signalArrivesOnUiThread_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("beforeTheWatcher");
        for (bool before : {false, true}) {
            const char* when = before ? " held until the watcher exists" : "";
            QTest::addRow("SIGTERM%s", when) << SIGTERM << before;
            QTest::addRow("SIGINT%s", when) << SIGINT << before;
            QTest::addRow("SIGHUP%s", when) << SIGHUP << before;
        }
    }
    void signalArrivesOnUiThread() {
        QFETCH(int, signalNumber);
        QFETCH(bool, beforeTheWatcher);
        if (beforeTheWatcher) {
            SignalWatcher::HoldSignals();
            std::raise(signalNumber); // would end the test program if it were not held
        }
        SignalWatcher watcher;
        QList<int> received;
        QThread* deliveredOn = nullptr;
        connect(&watcher, &SignalWatcher::quitRequested, this, [&](int number) {
            received << number;
            deliveredOn = QThread::currentThread();
        });
        // Raised on another thread: the handler runs there, the Qt signal must not.
        if (!beforeTheWatcher) std::thread([signalNumber] { std::raise(signalNumber); }).join();
        QTRY_COMPARE(received, QList<int>{signalNumber});
        QCOMPARE(deliveredOn, QThread::currentThread());
    }

    void previousHandlersComeBack() {
        static volatile std::sig_atomic_t hups = 0;
        struct sigaction mine {
        }, original{};
        mine.sa_handler = [](int) { hups = hups + 1; };
        sigemptyset(&mine.sa_mask);
        ::sigaction(SIGHUP, &mine, &original);
        {
            SignalWatcher watcher;
            QVERIFY_THROWS_EXCEPTION(std::logic_error, SignalWatcher second);
            QSignalSpy spy(&watcher, &SignalWatcher::quitRequested);
            std::raise(SIGHUP);
            QTRY_COMPARE(spy.count(), 1);
            QCOMPARE(int(hups), 0);
        }
        std::raise(SIGHUP);
        struct sigaction now {};
        ::sigaction(SIGHUP, &original, &now);
        QCOMPARE(int(hups), 1);
        QVERIFY(now.sa_handler == mine.sa_handler);
    }

    void exceptionInSlotIsReported_data() {
        QTest::addColumn<QString>("thrown");
        QTest::addColumn<QString>("reported");
        QTest::newRow("std::exception") << "Cannot write whois_result.xml"
                                        << "Cannot write whois_result.xml";
        QTest::newRow("other") << ""
                               << "An unexpected error occurred.";
    }
    void exceptionInSlotIsReported() {
        QFETCH(QString, thrown);
        QFETCH(QString, reported);
        auto* app = qobject_cast<TesseronApplication*>(QCoreApplication::instance());
        QVERIFY(app);
        QStringList reports;
        app->reportError = [&](const QString& message) { reports << message; };
        Thrower thrower;
        bool wentOn = false;
        QTimer::singleShot(0, &thrower, [&] { thrower.Fail(thrown); });
        QTimer::singleShot(5, this, [&] { wentOn = true; });
        QTRY_VERIFY(wentOn);
        app->reportError = nullptr;
        QCOMPARE(reports, QStringList{reported});
    }

    void exceptionOnWorkerThreadIsReportedOnUiThread() {
        auto* app = qobject_cast<TesseronApplication*>(QCoreApplication::instance());
        QThread* reportedOn = nullptr;
        QStringList reports;
        app->reportError = [&](const QString& message) {
            reports << message;
            reportedOn = QThread::currentThread();
        };
        QThread worker;
        Thrower thrower;
        thrower.moveToThread(&worker);
        worker.start();
        QMetaObject::invokeMethod(&thrower, "Fail", Qt::QueuedConnection,
                                  Q_ARG(QString, QStringLiteral("lost connection")));
        QTRY_COMPARE(reports, QStringList{"lost connection"});
        worker.quit();
        worker.wait();
        app->reportError = nullptr;
        QCOMPARE(reportedOn, QThread::currentThread());
    }

    void everyIconRenders_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"query", "update", "rating", "save", "copy", "print", "options",
                                 "home", "about", "tesseron", "result", "zones", "servers", "info",
                                 "error", "exit", "delete", "browser", "mail"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void everyIconRenders() {
        QFETCH(QString, name);
        const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("svg"));
        QCOMPARE(reader.size(), QSize(32, 32));
        const QIcon icon(path);
        for (int size : {16, 32}) {
            const QImage image = icon.pixmap(size).toImage();
            QVERIFY(!image.isNull());
            int drawn = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    drawn += qAlpha(image.pixel(x, y)) > 128;
            QVERIFY2(drawn > image.width() * image.height() / 8, qPrintable(name));
        }
        // The greyed variant for disabled buttons comes from the same engine.
        QVERIFY(!icon.pixmap(32, QIcon::Disabled).isNull());
    }

    // A message box is shaped like the dialogs: nothing to minimise it with, and with a
    // window it is modal to that window only, so the tray icon still answers.
    void messageBoxIsFixedAndModalToItsWindow_data() {
        QTest::addColumn<bool>("withWindow");
        QTest::newRow("with a window") << true;
        QTest::newRow("alone") << false;
    }
    void messageBoxIsFixedAndModalToItsWindow() {
        QFETCH(bool, withWindow);
        QWidget window;
        if (withWindow) window.show();
        Qt::WindowFlags flags;
        Qt::WindowModality modality = Qt::NonModal;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box) return;
            flags = box->windowFlags();
            modality = box->windowModality();
            box->close();
        });
        const auto answer =
            ShowCenteredMessage(withWindow ? &window : nullptr, QMessageBox::Warning, "Tesseron",
                                "Delete all results?", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(answer, QMessageBox::No); // closing the box is the safe answer
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(modality, withWindow ? Qt::WindowModal : Qt::ApplicationModal);
    }

    // Last: once ended, the application stays so for the rest of the program.
    void endingClosesTheOpenBoxAndKeepsLaterOnesFromWaiting() {
        auto* app = qobject_cast<TesseronApplication*>(QCoreApplication::instance());
        // No main loop runs here, as when the window reports a refused save at shut-down.
        QMessageBox open(QMessageBox::Critical, "Tesseron", "Unable to write to whois_result.xml");
        QTimer::singleShot(50, app, [app] { app->EndNow(); });
        QTimer::singleShot(5000, &open, [&open] { open.reject(); }); // fails instead of hanging
        QElapsedTimer clock;
        clock.start();
        open.exec();
        QVERIFY(clock.elapsed() < 4000);
        QVERIFY(app->Ending());

        QMessageBox later(QMessageBox::Critical, "Tesseron", "Unable to write to tesseron.ini");
        QTimer::singleShot(5000, &later, [&later] { later.reject(); });
        clock.restart();
        later.exec();
        QVERIFY(clock.elapsed() < 1000);
    }
};

} // namespace tesseron::test

int main(int argc, char** argv) {
    tesseron::TesseronApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    tesseron::test::AppShellTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_app_shell.moc"
