// The program entry of the window.
#include "app/HandOver.h"
#include "app/QtDesktopServices.h"
#include "app/SignalWatcher.h"
#include "app/TesseronApplication.h"
#include "desktop/Integration.h"
#include "desktop/ProgramPaths.h"
#include "mainwin/Settings.h"
#include "mainwin/main.h"

#include <QSessionManager>

#include <cstdlib>
#include <iostream>

using namespace tesseron;

namespace {

// TESSERON_CONNECT_TO: connect-to entries for every run, separated by blanks or commas.
ConnectToMap ConnectToFromEnvironment() {
    const char* value = std::getenv("TESSERON_CONNECT_TO");
    if (!value) return {};
    ConnectToList list = ParseConnectToList(value);
    for (const auto& entry : list.rejected)
        std::cerr << "tesseron: TESSERON_CONNECT_TO: \"" << entry
                  << "\" is not HOST:PORT:TOHOST:TOPORT and is ignored\n";
    return std::move(list.map);
}

} // namespace

int main(int argc, char** argv) {
    // A shut-down signal that comes while the application object is made waits for the
    // watcher below instead of killing the program.
    SignalWatcher::HoldSignals();
    TesseronApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Tesseron"));
    // The window's close ends the program, also when it was hidden in the tray; closing a
    // dialog opened from the tray menu must not.
    app.setQuitOnLastWindowClosed(false);
    SignalWatcher watcher;
    TTesseronForm* window = nullptr; // while it runs; the signal handler closes it
    // A signal ends the program whatever is open: a start-up message, a dialog, or the
    // report of a refused save at shut-down. The window still writes its files as it goes.
    QObject::connect(&watcher, &SignalWatcher::quitRequested, &app, [&app, &window] {
        if (window) window->close();
        app.EndNow();
    });

    // The argument's bytes as given: "-minimize", an address for the address box, or
    // nothing, which asks a running window to show itself.
    const QByteArray argument = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (SendHandOver(argument)) return 0; // a running window took it

    HandOverServer handOver;
    handOver.Listen(); // false: another window listens; this one runs on its own

    tesseron::TSettings settings; // the one settings record of the process
    int rc = 0;
    {
        // Boxes, the desktop's handlers, and the autostart entry and whois: link handler in
        // the user's XDG folders.
        QtDesktopServices desktop(IntegrationEnvironment::FromProcess());
        TTesseronForm form(tesseron::ProgramPaths::ForThisProcess(), settings, desktop);
        form.LoadLanguage();
        form.SetConnectTo(ConnectToFromEnvironment());
        QObject::connect(&handOver, &HandOverServer::received, &form, &TTesseronForm::HandOver);
        QObject::connect(&form, &TTesseronForm::closed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);

        // The end of the desktop session closes the window the ordinary way, so the
        // results and the settings are written when it goes.
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [&form] {
            form.close();
            QCoreApplication::quit();
        });
        QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&form] { form.close(); });

        if (argument == "-minimize")
            form.StartHidden();
        else if (!argument.isEmpty())
            form.HandOver(argument); // into the address box; no query starts
        // A signal during start-up (its messages included) ends the run before it begins.
        if (!app.Ending()) {
            window = &form;
            form.ShowAtStart();
            rc = app.exec();
            window = nullptr;
        }
    } // the window writes the results file and the settings here
    return rc;
}
