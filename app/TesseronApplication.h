#pragma once

#include <QApplication>

#include <functional>

// The window program's application object. An exception that escapes an event handler or
// a slot and reaches the event loop is reported to the user, and the program goes on.
class TesseronApplication final : public QApplication {
    Q_OBJECT
public:
    TesseronApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the report; by default a critical message box over the main window. Tests
    // replace it so that nothing modal opens.
    std::function<void(const QString&)> reportError;

private:
    void Report(const QString& message);

    bool reporting_ = false; // a failure while a report is open goes to stderr only
};
