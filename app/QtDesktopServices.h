#pragma once

#include "desktop/DesktopServices.h"

#include <QPointer>
#include <QWidget>

namespace tesseron {

// The desktop services of the running program: Qt's message boxes and file dialog, the
// desktop's URL handlers, xdg-email, the notification area and the XDG registrations.
class QtDesktopServices final : public DesktopServices {
public:
    explicit QtDesktopServices(IntegrationEnvironment environment);

    void SetMainWindow(QWidget* window, const TLangChanger* language) override;
    void ShowError(const QString& message) override;
    void ShowInfo(const QString& message) override;
    bool Confirm(const QString& question) override;
    QString AskSaveFileName(const QString& proposedName) override;
    void OpenInShell(const QString& target) override;
    void MailToInShell(const QString& address) override;
    std::string SendMail(const std::string& subject, const std::string& body,
                         const std::string& query) override;
    bool TrayAvailable() const override;
    // Read from the application object: true once a signal asked it to end now.
    bool Ending() const override;

    bool IsAutostartRegistered() const override { return xdg_.IsAutostartRegistered(); }
    bool IsBrowserButtonRegistered() const override { return xdg_.IsBrowserButtonRegistered(); }
    void SetAutostart(bool on) override { xdg_.SetAutostart(on); }
    void SetBrowserButton(bool on) override { xdg_.SetBrowserButton(on); }

private:
    XdgRegistration xdg_;
    QPointer<QWidget> window_;
    const TLangChanger* language_ = nullptr;
};

} // namespace tesseron
