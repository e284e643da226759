#pragma once

#include "query/AbortHandle.h"
#include "serverdb/BootstrapUpdate.h"
#include "serverdb/ServerListUpdate.h"

#include <QDialog>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class QCloseEvent;

namespace Ui {
class TdlgUpdateRating;
}

namespace tesseron {

class DesktopServices;
class RegistryBlocks;
class TDomainCollection;
struct MessageTable;

// Downloads a newer server list, checks it, installs it with a backup and reloads the
// shared list; then refreshes the registries' bootstrap files the same way and reloads the
// shared block tables. The two come from different sites, so one failing does not keep the
// other from being refreshed. The downloads run on a worker thread, so the dialog keeps
// painting and its bar moves while it stays modal; it cannot be closed until the update
// has ended. It closes when everything was refreshed; otherwise it says what was not.
class TdlgUpdateRating final : public QDialog {
    Q_OBJECT
public:
    // What the update reads and replaces.
    struct Deps {
        // Where a newer list is downloaded from, read when the update starts.
        const std::string* whoisFileLink = nullptr;
        std::string* serverListPath =
            nullptr;                          // the list in use; names the new one after an install
        TDomainCollection* domains = nullptr; // the shared server list
        const MessageTable* messages = nullptr; // sUpDateFailed, sFileCorrupted
        // Where a new list is downloaded and installed: the user's writable folder, which
        // an installed copy's shipped list is not in. Empty: beside serverListPath. After
        // an install serverListPath names it; the shipped list stays the fallback.
        std::filesystem::path installPath;
        // Readies the folder of installPath; throws with a text for the user.
        std::function<void()> prepareFolder;
        // The base address of the registries' bootstrap files, read when the update starts;
        // null or empty: they are not refreshed.
        const std::string* rdapBootstrapUrl = nullptr;
        // Where refreshed bootstrap files are installed (the writable folder's "rdap").
        std::filesystem::path rdapFolder;
        // Where each bootstrap file in use is read from; it becomes the backup.
        std::function<std::filesystem::path(std::string_view name)> rdapFile;
        RegistryBlocks* registries = nullptr; // reloaded through rdapFile after a refresh
    };

    // Errors are shown through `desktop`.
    TdlgUpdateRating(QWidget* owner, DesktopServices& desktop, Deps deps);
    ~TdlgUpdateRating() override;

    bool UpdateRunning() const { return worker_.joinable(); }

signals:
    // A new list is installed and loaded into the shared one: its totals have changed.
    void serverListReplaced();
    // A bootstrap file was refreshed and the shared block tables reloaded.
    void registriesReplaced();

public slots:
    void btnUpdateClick();
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Outcome {
        bool downloaded = false;
        bool corrupted = false;
        std::string error;                      // non-empty: the download raised an error
        std::optional<DownloadFailure> failure; // why nothing arrived
        std::vector<BootstrapOutcome> bootstrap;
    };
    void FormCreate();
    void Finish(const Outcome& outcome);
    // Installs the list; the problem to tell, or "" (also when nothing was downloaded).
    QString FinishList(const Outcome& outcome);
    QString FinishRegistries(const std::vector<BootstrapOutcome>& outcomes);
    QString BootstrapProblem(const BootstrapOutcome& outcome) const;
    QString DownloadingText(const std::string& address) const;
    // The status line and bar, from the worker.
    void Post(std::function<void()> step);
    void ShowError(const QString& message);
    const MessageTable& Texts() const;
    QString FailedText() const;
    std::filesystem::path InstallPath() const;
    QString FailureText(const DownloadFailure& failure) const;

    std::unique_ptr<Ui::TdlgUpdateRating> ui_;
    DesktopServices& desktop_;
    Deps deps_;
    std::thread worker_;
    AbortHandle abort_; // raised when the dialog goes away during a download
};

} // namespace tesseron
