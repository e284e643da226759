#include "app/QtDesktopServices.h"

#include "app/TesseronApplication.h"
#include "app/TesseronVersion.h"
#include "desktop/CenteredMessage.h"
#include "desktop/QtText.h"
#include "desktop/ShellHandOver.h"
#include "desktop/mapimail.h"
#include "locale/LangChanger.h"
#include "locale/QtTranslationTarget.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QListView>
#include <QSystemTrayIcon>
#include <QTreeView>

#include <cstdio>

namespace tesseron {
namespace {

QString Title() {
    return QString::fromUtf8(version::kProduct);
}

} // namespace

QtDesktopServices::QtDesktopServices(IntegrationEnvironment environment)
    : xdg_(std::move(environment)) {}

void QtDesktopServices::SetMainWindow(QWidget* window, const TLangChanger* language) {
    window_ = window;
    language_ = language;
}

void QtDesktopServices::ShowError(const QString& message) {
    if (Ending())
        std::fprintf(stderr, "tesseron: %s\n", message.toLocal8Bit().constData());
    else
        ShowCenteredMessage(window_, QMessageBox::Critical, Title(), message);
}

void QtDesktopServices::ShowInfo(const QString& message) {
    if (Ending())
        std::fprintf(stderr, "tesseron: %s\n", message.toLocal8Bit().constData());
    else
        ShowCenteredMessage(window_, QMessageBox::Information, Title(), message);
}

bool QtDesktopServices::Confirm(const QString& question) {
    return ShowCenteredMessage(window_, QMessageBox::Warning, Title(), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

// A form of its own to language files ("SaveDialog.Caption", "SaveDialog.Filter"). Qt's
// dialog rather than the desktop's: a native one speaks the desktop's language, not the
// one the user chose here.
QString QtDesktopServices::AskSaveFileName(const QString& proposedName) {
    QFileDialog dialog(window_, QStringLiteral("Save to file"), proposedName);
    dialog.setObjectName(QStringLiteral("dlgSave"));
    dialog.setProperty("translationClass", QStringLiteral("TSaveDialog"));
    dialog.setProperty("Filter", QStringLiteral("Text files (*.txt)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (language_) {
        QtTranslationTarget target(&dialog);
        language_->TranslateForm(target);
    }
    dialog.setNameFilter(dialog.property("Filter").toString());
    // Its columns and places are laid out for short English texts: give them their texts.
    if (auto* files = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = files->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (auto* places = dialog.findChild<QListView*>(QStringLiteral("sidebar")))
        places->setMinimumWidth(places->sizeHintForColumn(0) + 2 * places->frameWidth() + 8);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

void QtDesktopServices::OpenInShell(const QString& target) {
    tesseron::OpenInShell(target);
}

void QtDesktopServices::MailToInShell(const QString& address) {
    tesseron::MailToInShell(address);
}

std::string QtDesktopServices::SendMail(const std::string& subject, const std::string& body,
                                        const std::string& query) {
    MailLauncher launcher = SystemMailLauncher();
    // Without xdg-email the compose URL goes the way of every other hand-over.
    launcher.openUrl = [](const std::string& url) { return tesseron::OpenInShell(ToQString(url)); };
    return tesseron::SendMail(subject, body, query, launcher);
}

bool QtDesktopServices::TrayAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool QtDesktopServices::Ending() const {
    const auto* app = qobject_cast<const TesseronApplication*>(QCoreApplication::instance());
    return app && app->Ending();
}

} // namespace tesseron
