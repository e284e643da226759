#include "serverdb/uDlgUpdateRating.h"

#include "desktop/DesktopServices.h"

#include "locale/Language.h"
#include "locale/TextFormat.h"
#include "query/ThreadCheckMarks.h"
#include "serverdb/RegistryBlocks.h"
#include "serverdb/ServerListUpdate.h"
#include "serverdb/uDomainList.h"
#include "ui_uDlgUpdateRating.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QStringList>

namespace tesseron {

TdlgUpdateRating::TdlgUpdateRating(QWidget* owner, DesktopServices& desktop, Deps deps)
    : QDialog(owner), ui_(std::make_unique<Ui::TdlgUpdateRating>()), desktop_(desktop),
      deps_(std::move(deps)) {
    ui_->setupUi(this);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    ui_->Image1->setPixmap(QIcon(QStringLiteral(":/icons/update.svg")).pixmap(48, 48));
    connect(ui_->btnUpdate, &QPushButton::clicked, this, &TdlgUpdateRating::btnUpdateClick);
    connect(ui_->CancelBtn, &QPushButton::clicked, this, &TdlgUpdateRating::reject);
    FormCreate();
}

TdlgUpdateRating::~TdlgUpdateRating() {
    // Pending progress and outcome calls die with this object; the worker only has to stop.
    abort_.Abort();
    if (worker_.joinable()) worker_.join();
}

void TdlgUpdateRating::FormCreate() {
    if (deps_.whoisFileLink) ui_->edFileName->setText(QString::fromStdString(*deps_.whoisFileLink));
}

void TdlgUpdateRating::btnUpdateClick() {
    if (UpdateRunning() || !deps_.whoisFileLink || !deps_.serverListPath) return;
    if (deps_.prepareFolder) {
        try {
            deps_.prepareFolder();
        } catch (const std::exception& e) {
            return ShowError(FailedText() + QStringLiteral("\r\n") + QString::fromUtf8(e.what()));
        }
    }
    ui_->CancelBtn->setEnabled(false);
    ui_->btnUpdate->setEnabled(false);
    ui_->ProgressBar1->setValue(0);
    ui_->lblStatus->clear();
    const std::string url = *deps_.whoisFileLink;
    const std::filesystem::path temp = UpdateTempPath(InstallPath());
    std::optional<BootstrapRefresh> refresh;
    // An empty address is the user's way of keeping the files as they are.
    if (deps_.rdapBootstrapUrl && !deps_.rdapBootstrapUrl->empty() && !deps_.rdapFolder.empty()) {
        refresh.emplace();
        refresh->baseUrl = *deps_.rdapBootstrapUrl;
        refresh->folder = deps_.rdapFolder;
        refresh->inUse = deps_.rdapFile;
    }
    worker_ = std::thread([this, url, temp, refresh] {
        const auto bar = [this](int value) {
            Post([this, value] { ui_->ProgressBar1->setValue(value); });
        };
        const auto started = [this](std::string_view, const std::string& address) {
            Post([this, address] {
                ui_->ProgressBar1->setValue(0);
                ui_->lblStatus->setText(DownloadingText(address));
            });
        };
        Outcome outcome;
        started({}, url);
        try {
            DownloadFailure failure;
            outcome.downloaded = GetInetFile(url, temp, bar, &abort_, {}, &failure);
            if (!outcome.downloaded && !abort_.Aborted()) outcome.failure = failure;
            // Checked here too: a large list takes a moment to parse.
            outcome.corrupted = outcome.downloaded && CorruptedWhoisFile(temp);
        } catch (const std::exception& e) {
            outcome.error = e.what();
        }
        // The registries' files come from elsewhere: a list that failed does not stop them.
        if (refresh && !abort_.Aborted())
            outcome.bootstrap = RefreshBootstrapFiles(*refresh, {started, bar}, &abort_);
        Post([this, outcome] { Finish(outcome); });
    });
}

void TdlgUpdateRating::Post(std::function<void()> step) {
    // Marked for the thread checker as the run's calls into the window are.
    MarkHandOver(this);
    IgnoreQtBegin();
    QMetaObject::invokeMethod(
        this,
        [this, step = std::move(step)] {
            MarkTakeOver(this);
            step();
        },
        Qt::QueuedConnection);
    IgnoreQtEnd();
}

void TdlgUpdateRating::Finish(const Outcome& outcome) {
    if (worker_.joinable()) worker_.join();
    ui_->CancelBtn->setEnabled(true);
    ui_->btnUpdate->setEnabled(true);
    QStringList problems;
    for (const QString& problem : {FinishList(outcome), FinishRegistries(outcome.bootstrap)})
        if (!problem.isEmpty()) problems << problem;
    if (problems.isEmpty()) {
        ui_->lblStatus->clear();
        // Nothing downloaded and nothing said: the update was stopped, the dialog stays.
        if (outcome.downloaded) accept();
        return;
    }
    const QString text = problems.join(QStringLiteral("\r\n"));
    // The message box's line breaks are CR LF; a label shows a plain LF.
    ui_->lblStatus->setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    ShowError(text);
}

QString TdlgUpdateRating::FinishList(const Outcome& outcome) {
    const QString failed = FailedText();
    if (!outcome.error.empty()) return failed;
    // Nothing could be fetched: the user hears where from and why; the dialog stays.
    if (outcome.failure) return failed + QStringLiteral("\r\n") + FailureText(*outcome.failure);
    if (!outcome.downloaded) return {};
    if (outcome.corrupted)
        return failed + QStringLiteral("\r\n") + QString::fromStdString(Texts().sFileCorrupted);
    const std::string listPath = InstallPath().string();
    // The list could not be replaced: the shared list still matches the file, so it stays,
    // and the user hears of it instead of seeing a success.
    if (!InstallServerList(listPath, *deps_.serverListPath)) return failed;
    *deps_.serverListPath = listPath;
    QString problem;
    if (deps_.domains) {
        deps_.domains->Clear();
        try {
            deps_.domains->LoadFromFile(listPath);
        } catch (const std::exception& e) {
            problem = failed + QStringLiteral("\r\n") + QString::fromUtf8(e.what());
        }
    }
    emit serverListReplaced();
    return problem;
}

QString TdlgUpdateRating::FinishRegistries(const std::vector<BootstrapOutcome>& outcomes) {
    QStringList problems;
    bool installed = false;
    for (const BootstrapOutcome& o : outcomes) {
        if (o.result == BootstrapOutcome::Result::Installed)
            installed = true;
        else if (o.result != BootstrapOutcome::Result::Aborted)
            problems << BootstrapProblem(o);
    }
    if (installed && deps_.registries && deps_.rdapFile) {
        // Checked files: a fault here is one of a file that was not refreshed.
        const std::string faults = deps_.registries->LoadFiles(deps_.rdapFile);
        if (!faults.empty()) problems << QString::fromStdString(faults);
        emit registriesReplaced();
    }
    return problems.join(QStringLiteral("\r\n"));
}

QString TdlgUpdateRating::BootstrapProblem(const BootstrapOutcome& o) const {
    const MessageTable& m = Texts();
    std::string head;
    try {
        head = Format(m.sRdapFileFailed, o.name);
    } catch (const FormatError&) {
        head = o.name; // a broken text still names the file
    }
    using R = BootstrapOutcome::Result;
    QString why;
    switch (o.result) {
    case R::NotFetched:
        return QString::fromStdString(head) + QStringLiteral("\r\n") + FailureText(o.failure);
    case R::TooLarge:
        why = QString::fromStdString(m.sDownloadTooLarge);
        break;
    case R::NotBootstrap:
        why = QString::fromStdString(m.sRdapFileDamaged + " (" + o.detail + ")");
        break;
    case R::NotInstalled:
        why = QString::fromStdString(m.sFileNotReplaced);
        break;
    case R::WriteFailed:
    case R::Installed:
    case R::Aborted:
        why = QString::fromStdString(o.detail);
        break;
    }
    return QString::fromStdString(head) + QStringLiteral("\r\n") + why;
}

QString TdlgUpdateRating::DownloadingText(const std::string& address) const {
    try {
        return QString::fromStdString(Format(Texts().sDownloading, address));
    } catch (const FormatError&) {
        return QString::fromStdString(address);
    }
}

const MessageTable& TdlgUpdateRating::Texts() const {
    static const MessageTable kKeys;
    return deps_.messages ? *deps_.messages : kKeys;
}

QString TdlgUpdateRating::FailedText() const {
    return QString::fromStdString(Texts().sUpDateFailed);
}

std::filesystem::path TdlgUpdateRating::InstallPath() const {
    return deps_.installPath.empty() ? std::filesystem::path(*deps_.serverListPath)
                                     : deps_.installPath;
}

QString TdlgUpdateRating::FailureText(const DownloadFailure& failure) const {
    const MessageTable& m = Texts();
    std::string where;
    try {
        where = Format(m.sDownloadFailedFrom, failure.host);
    } catch (const FormatError&) {
        where = failure.host; // a broken text still names the host
    }
    using R = DownloadFailure::Reason;
    std::string why;
    switch (failure.reason) {
    case R::Refused:
        why = m.sDownloadRefused;
        break;
    case R::HostNotFound:
        why = m.sDownloadHostNotFound;
        break;
    case R::TimedOut:
        why = m.sDownloadTimedOut;
        break;
    case R::Insecure:
        why = m.sDownloadInsecure + " (" + failure.detail + ")";
        break;
    case R::Empty:
        why = m.sDownloadEmpty + " (" + failure.detail + ")";
        break;
    case R::HttpError:
        why = m.sDownloadStatus + " (" + failure.detail + ")";
        break;
    case R::Other:
        why = failure.detail;
        break;
    }
    return QString::fromStdString(where + "\r\n" + why);
}

void TdlgUpdateRating::ShowError(const QString& message) {
    desktop_.ShowError(message);
}

void TdlgUpdateRating::reject() {
    if (!UpdateRunning()) QDialog::reject();
}

void TdlgUpdateRating::closeEvent(QCloseEvent* event) {
    if (UpdateRunning()) return event->ignore();
    QDialog::closeEvent(event);
}

} // namespace tesseron
