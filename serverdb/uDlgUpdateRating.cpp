#include "serverdb/uDlgUpdateRating.h"

#include "desktop/DesktopServices.h"

#include "locale/Language.h"
#include "locale/TextFormat.h"
#include "serverdb/ServerListUpdate.h"
#include "serverdb/uDomainList.h"
#include "ui_uDlgUpdateRating.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMetaObject>
#include <QPushButton>

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
    const std::string url = *deps_.whoisFileLink;
    const std::filesystem::path temp = UpdateTempPath(InstallPath());
    worker_ = std::thread([this, url, temp] {
        Outcome outcome;
        try {
            DownloadFailure failure;
            outcome.downloaded = GetInetFile(
                url, temp,
                [this](int value) {
                    QMetaObject::invokeMethod(
                        this, [this, value] { ui_->ProgressBar1->setValue(value); },
                        Qt::QueuedConnection);
                },
                &abort_, {}, &failure);
            if (!outcome.downloaded && !abort_.Aborted()) outcome.failure = failure;
            // Checked here too: a large list takes a moment to parse.
            outcome.corrupted = outcome.downloaded && CorruptedWhoisFile(temp);
        } catch (const std::exception& e) {
            outcome.error = e.what();
        }
        QMetaObject::invokeMethod(
            this, [this, outcome] { Finish(outcome); }, Qt::QueuedConnection);
    });
}

void TdlgUpdateRating::Finish(const Outcome& outcome) {
    if (worker_.joinable()) worker_.join();
    ui_->CancelBtn->setEnabled(true);
    ui_->btnUpdate->setEnabled(true);
    const QString failed = FailedText();
    if (!outcome.error.empty()) return ShowError(failed);
    // Nothing could be fetched: the user hears where from and why; the dialog stays.
    if (outcome.failure)
        return ShowError(failed + QStringLiteral("\r\n") + FailureText(*outcome.failure));
    if (!outcome.downloaded) return;
    if (outcome.corrupted) {
        const QString corrupted = QString::fromStdString(Texts().sFileCorrupted);
        return ShowError(failed + QStringLiteral("\r\n") + corrupted);
    }
    const std::string listPath = InstallPath().string();
    // The list could not be replaced: the shared list still matches the file, so it stays,
    // and the user hears of it instead of seeing a success.
    if (!InstallServerList(listPath, *deps_.serverListPath)) return ShowError(failed);
    *deps_.serverListPath = listPath;
    if (deps_.domains) {
        deps_.domains->Clear();
        try {
            deps_.domains->LoadFromFile(listPath);
        } catch (const std::exception& e) {
            ShowError(failed + QStringLiteral("\r\n") + QString::fromUtf8(e.what()));
        }
    }
    emit serverListReplaced();
    accept();
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
