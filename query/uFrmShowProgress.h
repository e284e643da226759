#pragma once

#include "query/QtRunBridge.h"
#include "query/uWhoisRequestThread.h"

#include <QDialog>
#include <QIcon>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

namespace Ui {
class TfrmShowProgress;
}

namespace tesseron {

class RegistryBlocks;
class TDomainCollection;
struct MessageTable;

// The small "searching" animation of the progress window: a magnifier circling over a
// page while a run is active, at rest otherwise. Drawn in the palette's text colour, so
// it suits light and dark themes alike.
class SearchAnimation final : public QWidget {
    Q_OBJECT

public:
    explicit SearchAnimation(QWidget* parent = nullptr);

    void Start();
    void Stop();
    bool IsRunning() const { return timer_.isActive(); }

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    int frame_ = 0;
};

// The modal window in which a run of queries takes place. Showing it starts the run; its
// log lists every step. It closes at the end of the run when the run says so (the
// PropWNDQuery rule), else the user closes it. While the run is active nothing but the
// end of the run closes it; Close then stops the run.
class TfrmShowProgress final : public QDialog, private RunLog {
    Q_OBJECT

public:
    // Each line of lvLog carries its icon index (LogImage) under this role.
    static constexpr int LogImageRole = Qt::UserRole;

    // The run hands its answers to `sink` on this window's thread. `domains` and
    // `registries` may be null; everything given must outlive the window.
    TfrmShowProgress(RunRequest request, RunSettings settings, const TDomainCollection* domains,
                     const RegistryBlocks* registries, const MessageTable& messages,
                     ResultSink& sink, QWidget* owner);
    // Stops a run that is still active (only when the application quits under it) and
    // waits for its end.
    ~TfrmShowProgress() override;
    TfrmShowProgress(const TfrmShowProgress&) = delete;
    TfrmShowProgress& operator=(const TfrmShowProgress&) = delete;

    // Shows the window modally; the run starts when it is shown and has ended before
    // exec() returns, even when the application's quit leaves the loop early.
    int exec() override;
    // Ignored while the run is active: Esc, closing the window and accept/reject alike.
    void done(int result) override;

    bool RunActive() const { return runActive_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The run's log, called on this thread through the marshaller.
    void AddLogLine(LogImage image, const std::string& text) override;
    void EndOfRun(bool close) override;

    void StartRun();
    void AddLogLine(LogImage image, const QString& text);
    void FitLogColumn();
    void StopAndWait();
    void btnCloseClick();
    void CentreOnOwner();

    RunRequest request_;
    RunSettings settings_;
    const TDomainCollection* domains_;
    const RegistryBlocks* registries_;
    const MessageTable& messages_;
    std::unique_ptr<Ui::TfrmShowProgress> ui_;
    QIcon logIcons_[2];
    bool runActive_ = false;
    int lineWidth_ = 0; // of the longest log line
    // The run calls this window and the sink through these; they outlive run_.
    QtMarshaller marshaller_{this};
    QtRunLog log_{marshaller_, *this};
    QtResultSink sink_;
    std::unique_ptr<TWhoisRequestThread> run_; // reset only once its worker has finished
};

} // namespace tesseron

// The other windows name it as they name the main window: without a namespace.
using tesseron::TfrmShowProgress;
