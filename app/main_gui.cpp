// The program entry of the window.
#include "desktop/InstanceLock.h"
#include "desktop/ProgramPaths.h"
#include "mainwin/Settings.h"
#include "mainwin/main.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Tesseron"));
    // Program-wide objects live here and are handed down.
    const auto paths = tesseron::ProgramPaths::ForThisProcess();
    try {
        paths.EnsureWritableDir();
    } catch (const std::exception&) {
        // Reported when the settings are written at shut-down.
    }
    // Held while the window runs: tesseron-cli --store checks it before touching the
    // results file this window writes at shut-down.
    const auto resultsLock =
        tesseron::InstanceLock::TryAcquire(tesseron::InstanceLock::For(paths.ResultsFile()));
    tesseron::TSettings settings;
    int rc = 0;
    {
        TTesseronForm form(paths, settings);
        form.show();
        rc = app.exec();
    }
    return rc;
}
