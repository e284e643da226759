// The program entry of the window.
#include "app/HandOver.h"
#include "app/SignalWatcher.h"
#include "app/TesseronApplication.h"
#include "desktop/Integration.h"
#include "desktop/ProgramPaths.h"
#include "mainwin/Settings.h"
#include "mainwin/main.h"

#include <QSessionManager>

int main(int argc, char** argv) {
    TesseronApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Tesseron"));
    // The window's close ends the program, also when it was hidden in the tray; closing a
    // dialog opened from the tray menu must not.
    app.setQuitOnLastWindowClosed(false);
    // Watch the signals before anything else: one that arrives while the window is being
    // built waits in the watcher and then closes the window the ordinary way.
    SignalWatcher watcher;

    // The argument's bytes as given: "-minimize" or an address for the address box.
    const QByteArray argument = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (!argument.isEmpty() && SendHandOver(argument)) return 0; // a running window took it

    HandOverServer handOver;
    handOver.Listen(); // false: another window listens; this one runs on its own

    tesseron::TSettings settings; // the one settings record of the process
    int rc = 0;
    {
        // The desktop's autostart entry and whois: link handler, in the user's XDG folders.
        const auto desktop = tesseron::IntegrationEnvironment::FromProcess();
        TTesseronForm::Seams seams;
        seams.isAutostartRegistered = [desktop] { return IsAutostartRegistered(desktop); };
        seams.setAutostart = [desktop](bool on) { SetAutostart(desktop, on); };
        seams.isBrowserButtonRegistered = [desktop] { return IsBrowserButtonRegistered(desktop); };
        seams.setBrowserButton = [desktop](bool on) { SetBrowserButton(desktop, on); };
        TTesseronForm form(tesseron::ProgramPaths::ForThisProcess(), settings, std::move(seams));
        form.LoadLanguage();
        QObject::connect(&handOver, &HandOverServer::received, &form, &TTesseronForm::HandOver);
        QObject::connect(&form, &TTesseronForm::closed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);

        // Signals and the end of the desktop session close the window the ordinary way,
        // so the results and the settings are written when it goes.
        QObject::connect(&watcher, &SignalWatcher::quitRequested, &form, [&form] {
            form.close();
            QCoreApplication::quit();
        });
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [&form] {
            form.close();
            QCoreApplication::quit();
        });
        QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form] { form.close(); });

        if (argument == "-minimize")
            form.StartHidden();
        else if (!argument.isEmpty())
            form.HandOver(argument); // into the address box; no query starts
        form.ShowAtStart();
        rc = app.exec();
    } // the window writes the results file and the settings here
    return rc;
}
