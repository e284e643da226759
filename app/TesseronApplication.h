#pragma once

#include <QApplication>

#include <functional>

namespace tesseron {

// The window program's application object. An exception that escapes an event handler or
// a slot and reaches the event loop is reported to the user, and the program goes on.
class TesseronApplication final : public QApplication {
    Q_OBJECT
public:
    TesseronApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Ends the program now, whatever is open: every running event loop ends, modal boxes'
    // included, one opened later returns at once, and reports go to standard error. For a
    // shut-down signal, which nothing the user left open may hold up.
    void EndNow();
    bool Ending() const noexcept { return ending_; }

    // Shows the report; by default a critical message box over the main window. Tests
    // replace it so that nothing modal opens.
    std::function<void(const QString&)> reportError;

private:
    void Report(const QString& message);

    bool reporting_ = false; // a failure while a report is open goes to stderr only
    bool ending_ = false;
};

} // namespace tesseron
