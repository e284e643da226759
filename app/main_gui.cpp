// The program entry of the window.
#include "desktop/ProgramPaths.h"
#include "mainwin/Settings.h"
#include "mainwin/main.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Tesseron"));
    // Program-wide objects live here and are handed down.
    tesseron::TSettings settings;
    int rc = 0;
    {
        TTesseronForm form(tesseron::ProgramPaths::ForThisProcess(), settings);
        form.show();
        rc = app.exec();
    }
    return rc;
}
