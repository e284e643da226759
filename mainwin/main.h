#pragma once

#include "desktop/InstanceLock.h"
#include "locale/LangChanger.h"
#include "locale/Language.h"
#include "locale/QtTranslationTarget.h"
#include "mainwin/Formini.h"
#include "query/ConnectTo.h"
#include "serverdb/RegistryBlocks.h"
#include "serverdb/uDomainList.h"
#include "serverdb/uWhoisResultList.h"

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QActionGroup;
class QDialog;
class QMenu;
class QSystemTrayIcon;

namespace Ui {
class TTesseronForm;
}

namespace tesseron {

class ResultsView;

// The main window: query panel, results list, answer pane, menus, toolbar and tray icon.
class TTesseronForm final : public TFormINI {
    Q_OBJECT

public:
    // Everything that opens a box or another program goes through `desktop`, which must
    // outlive the window.
    TTesseronForm(ProgramPaths paths, TSettings& settings, DesktopServices& desktop,
                  QWidget* parent = nullptr);
    ~TTesseronForm() override;

    // Selects the language file of DefaultLang, translates the open forms, fills the
    // message texts and the column captions. Start-up calls it once the window exists.
    void LoadLanguage();

    // A text handed over by another start of the program: "-minimize" exactly hides the
    // window to the tray; an empty text (a plain second start) shows the window; any other
    // text goes through the address filter into the address box. No query starts. While a
    // modal dialog is open, "-minimize" and the empty text bring that dialog to the front.
    void HandOver(const QByteArray& payload);
    // For a start with "-minimize": the window is not shown, only the tray icon (or, with
    // no notification area, it is shown minimised).
    void StartHidden();
    // Shows the window at start-up unless StartHidden() asked otherwise.
    void ShowAtStart();
    // Where every run's connections to named servers really go (a private mirror, a test
    // server); the program reads it from its environment at start-up.
    void SetConnectTo(ConnectToMap map) { connectTo_ = std::move(map); }

    TWhoisResultCollection& Results() noexcept { return results_; }
    const MessageTable& Messages() const noexcept { return messages_; }
    const RegistryBlocks& Registries() const noexcept { return registries_; }
    ResultsView& View() const noexcept { return *resultsView_; }
    std::vector<std::string> History() const;
    int QueryPanelWidth() const;

signals:
    // The window has been closed: the program ends (also when it was hidden in the tray).
    void closed();

protected:
    void FormDestroy() override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetUpWidgets();
    void SetUpMenus();
    void ConnectActions();
    void FormCreate();
    void LoadServerList();
    void LoadRegistries();
    // An error of start-up, said once the language is loaded (at once after that).
    void SayAtStart(std::function<QString()> text);
    void LoadResults();
    void FillHistoryFromResults();
    void ListLang();
    void ChangeLang(QAction* item);
    QString ApplicationTitle() const;
    // The files this window writes, beside which a killed run may have left temporaries.
    std::vector<std::filesystem::path> WrittenFiles() const;

    // The idle update step of every action, run once after the changes that affect it.
    void ScheduleUpdate();
    void UpdateActions();

    void actWhoIsExecute();
    void actResultUpdateExecute();
    void AddAddresses();
    void RunQueries(std::vector<std::string> addresses);
    void OnSplitterMoved();
    void SetQueryPanelWidth(int width);
    void ShowMainForm();
    // Restores `window` from minimised or hidden, raises and activates it.
    void BringToFront(QWidget* window);
    void HideToTray();
    void OpenHelpFile();

    // Dialogs that come with a later version; each has one hook that says so.
    void OpenServerBrowser();
    void OpenServerListUpdate();
    void OpenOptions();
    void OpenAbout();
    void SendResultByMail();
    void ShowRdapJson();
    void TranslateDialog(QWidget& dialog);
    // A dialog whose size the user cannot change unless `resizable`.
    int ShowModal(QDialog& dialog, bool resizable = false);

    std::unique_ptr<Ui::TTesseronForm> ui_;
    TDomainCollection domains_;
    RegistryBlocks registries_; // who holds each number: the registry asked first
    TWhoisResultCollection results_;
    std::vector<ResultId> updateList_;
    ConnectToMap connectTo_; // handed to every run
    MessageTable messages_;
    TLangChanger langChanger_;
    LanguageFileTranslator qtTexts_;     // Qt's own texts (buttons, file dialog) in that language
    ResultsView* resultsView_ = nullptr; // child of this window
    QMenu* pmRichEdit_ = nullptr;
    QMenu* pmResults_ = nullptr;
    QMenu* pmTray_ = nullptr;
    QActionGroup* langGroup_ = nullptr;
    QSystemTrayIcon* trayIcon_ = nullptr;
    std::optional<InstanceLock> resultsLock_;
    bool languageLoaded_ = false;
    std::vector<std::function<QString()>> startMessages_;
    int acceptedPanelWidth_ = 0; // the query panel's width after the last accepted drag
    bool updatePending_ = false;
    bool startHidden_ = false;
    int storedWindowState_ = 0; // WindowState as the settings file held it at start-up
    bool panelShown_ = false;
};

} // namespace tesseron

using tesseron::TTesseronForm;
