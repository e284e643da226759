#pragma once

#include "desktop/Integration.h"

#include <QString>

#include <string>

class QWidget;

namespace tesseron {

class TLangChanger;

// Every way the forms reach past their own widgets: message boxes, the save-file name,
// handing an address, a file or a mail to the desktop, the tray and the desktop
// registrations. The program has one Qt realisation (app/QtDesktopServices); tests have one
// fake. A new dialog takes this by reference and needs nothing else to reach the desktop.
class DesktopServices : public DesktopRegistration {
public:
    // The window boxes are centred on, and whose language the save dialog speaks; none: boxes
    // stand alone. The main window names itself when it is built and withdraws when it goes.
    virtual void SetMainWindow(QWidget* window, const TLangChanger* language) = 0;

    // While the program ends on a signal, errors and notes go to standard error instead of a
    // box, so nothing holds the end up.
    virtual void ShowError(const QString& message) = 0;
    virtual void ShowInfo(const QString& message) = 0;
    virtual bool Confirm(const QString& question) = 0; // Yes/No; true = Yes
    // The name to save a text under; "" when the user cancelled.
    virtual QString AskSaveFileName(const QString& proposedName) = 0;

    // The two forms of the shell hand-over (desktop/ShellHandOver.h); nothing is checked.
    virtual void OpenInShell(const QString& target) = 0;
    virtual void MailToInShell(const QString& address) = 0;
    // Hands a result to the mail program; "" when one took it, else the error to show.
    virtual std::string SendMail(const std::string& subject, const std::string& body,
                                 const std::string& query) = 0;

    virtual bool TrayAvailable() const = 0; // the desktop has a notification area
    virtual bool Ending() const = 0;        // the program ends because of a signal
};

} // namespace tesseron
