#pragma once

#include "desktop/DesktopServices.h"
#include "desktop/ShellHandOver.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <string>
#include <vector>

namespace tesseron::test {

// The desktop of the GUI tests: nothing modal opens and nothing leaves the process. Every
// call is recorded; the answers are the members below. With `real` set, questions and
// file names go to that one instead (to look at the real boxes).
class FakeDesktop final : public DesktopServices {
public:
    struct Mail {
        std::string subject, body, query;
    };

    QStringList errors, infos, questions, proposals;
    QStringList opened;   // targets handed to OpenInShell
    QStringList mailedTo; // addresses handed to MailToInShell
    QList<QUrl> urls;     // what the desktop would have received, from both
    std::vector<Mail> mails;
    std::vector<bool> autostartSwitches, browserButtonSwitches;

    bool answerYes = true;
    QString saveAs;         // "": the save dialog was cancelled
    std::string mailError;  // what SendMail reports
    bool tray = false;      // a notification area exists
    bool ending = false;    // the program ends on a signal
    bool autostart = false; // registered with the desktop
    bool browserButton = false;
    DesktopServices* real = nullptr;
    QWidget* window = nullptr;

    void SetMainWindow(QWidget* w, const TLangChanger* language) override {
        window = w;
        if (real) real->SetMainWindow(w, language);
    }
    void ShowError(const QString& message) override { errors << message; }
    void ShowInfo(const QString& message) override { infos << message; }
    bool Confirm(const QString& question) override {
        questions << question;
        return real ? real->Confirm(question) : answerYes;
    }
    QString AskSaveFileName(const QString& proposedName) override {
        proposals << proposedName;
        return real ? real->AskSaveFileName(proposedName) : saveAs;
    }
    void OpenInShell(const QString& target) override {
        opened << target;
        urls << ShellUrlFor(target);
    }
    void MailToInShell(const QString& address) override {
        mailedTo << address;
        urls << MailToUrl(address);
    }
    std::string SendMail(const std::string& subject, const std::string& body,
                         const std::string& query) override {
        mails.push_back({subject, body, query});
        return mailError;
    }
    bool TrayAvailable() const override { return tray; }
    bool Ending() const override { return ending; }
    bool IsAutostartRegistered() const override { return autostart; }
    bool IsBrowserButtonRegistered() const override { return browserButton; }
    void SetAutostart(bool on) override { autostartSwitches.push_back(autostart = on); }
    void SetBrowserButton(bool on) override { browserButtonSwitches.push_back(browserButton = on); }
};

} // namespace tesseron::test
