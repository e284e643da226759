#include "app/TesseronApplication.h"
#include "desktop/CenteredMessage.h"

#include "app/Resources.h"
#include "app/TesseronVersion.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QThread>

#include <cstdio>
#include <exception>

namespace tesseron {

namespace {

// The main window when one exists, so the report is centred on it.
QWidget* ReportParent() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(widget) && widget->isVisible()) return widget;
    }
    return QApplication::activeWindow();
}

} // namespace

TesseronApplication::TesseronApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The icons are compiled into a static library; naming them here links them in.
    InitTesseronResources();
    setApplicationName(QString::fromUtf8(tesseron::version::kProduct));
}

bool TesseronApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        Report(QString::fromUtf8(error.what()));
    } catch (...) {
        Report(tr("An unexpected error occurred."));
    }
    return false;
}

void TesseronApplication::EndNow() {
    ending_ = true;
    // exit(), unlike quit(), also works once the main loop has returned (the window is
    // then writing its files) and asks no window whether it may close.
    exit(0);
}

void TesseronApplication::Report(const QString& message) {
    // Widgets belong to the UI thread; a failure in another thread's loop is shown there.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, message] { Report(message); }, Qt::QueuedConnection);
        return;
    }
    if (reporting_ || ending_) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    reporting_ = true;
    try {
        if (reportError)
            reportError(message);
        else
            tesseron::ShowCenteredMessage(ReportParent(), QMessageBox::Critical,
                                          applicationDisplayName(), message);
    } catch (...) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
    reporting_ = false;
}

} // namespace tesseron
