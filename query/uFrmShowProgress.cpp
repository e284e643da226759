#include "query/uFrmShowProgress.h"

#include "locale/Language.h"
#include "ui_uFrmShowProgress.h"

#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidgetItem>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tesseron {

namespace {

constexpr int kFrames = 12;
constexpr int kFrameMs = 90;

// Empty until the resource exists (a missing file would only produce warnings).
QIcon LogIcon(const QString& path) {
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace

SearchAnimation::SearchAnimation(QWidget* parent) : QWidget(parent) {
    setFixedSize(16, 16);
    timer_.setInterval(kFrameMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kFrames;
        update();
    });
}

void SearchAnimation::Start() {
    if (!timer_.isActive()) timer_.start();
}

void SearchAnimation::Stop() {
    timer_.stop();
    frame_ = 0;
    update();
}

void SearchAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = palette().color(QPalette::WindowText);
    QColor faint = ink;
    faint.setAlphaF(0.35f);

    // The page being searched.
    p.setPen(QPen(faint, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1.5, 0.5, 10, 13));
    for (double y = 3.5; y < 12; y += 2.5)
        p.drawLine(QPointF(3.5, y), QPointF(9.5, y));

    // The magnifier circles over it; at rest it sits at the start of its round.
    const double turn = 2 * std::numbers::pi * frame_ / kFrames;
    const QPointF lens(7 + 2.5 * std::cos(turn), 7 + 2.5 * std::sin(turn));
    constexpr double radius = 3.2;
    const QPointF along(std::sqrt(0.5), std::sqrt(0.5)); // the handle points down-right
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(lens + along * radius, lens + along * (radius + 3.5));
    p.setPen(QPen(ink, 1.4));
    p.setBrush(palette().color(QPalette::Base));
    p.drawEllipse(lens, radius, radius);
}

TfrmShowProgress::TfrmShowProgress(RunRequest request, RunSettings settings,
                                   const TDomainCollection* domains,
                                   const RegistryBlocks* registries, const MessageTable& messages,
                                   ResultSink& sink, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      request_(std::move(request)), settings_(std::move(settings)), domains_(domains),
      registries_(registries), messages_(messages), ui_(std::make_unique<Ui::TfrmShowProgress>()),
      sink_(marshaller_, sink) {
    ui_->setupUi(this);
    setFixedSize(390, 208);
    logIcons_[LogInformation] = LogIcon(QStringLiteral(":/icons/info.svg"));
    logIcons_[LogError] = LogIcon(QStringLiteral(":/icons/error.svg"));
    connect(ui_->btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
    // Long lines are shown whole: the column grows with them and the log scrolls sideways.
    QHeaderView* header = ui_->lvLog->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Interactive);
    ui_->lvLog->setTextElideMode(Qt::ElideNone);
    ui_->lvLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ui_->lvLog->viewport()->installEventFilter(this);
}

TfrmShowProgress::~TfrmShowProgress() {
    StopAndWait();
}

int TfrmShowProgress::exec() {
    const int result = QDialog::exec();
    StopAndWait(); // the loop ends early only when the application quits during the run
    return result;
}

void TfrmShowProgress::done(int result) {
    if (runActive_) return; // only the end of the run closes the window while it is active
    QDialog::done(result);
}

void TfrmShowProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous() || runActive_) return; // restored, not newly shown
    CentreOnOwner();
    StartRun();
}

void TfrmShowProgress::CentreOnOwner() {
    QRect area;
    if (const QWidget* owner = parentWidget())
        area = owner->window()->frameGeometry();
    else if (const QScreen* screen = this->screen())
        area = screen->availableGeometry();
    if (area.isValid()) move(area.center() - rect().center());
}

void TfrmShowProgress::StartRun() {
    StopAndWait(); // the previous showing's run, long over
    marshaller_.Open();
    ui_->Animate1->Start();
    runActive_ = true;
    try {
        run_ = std::make_unique<TWhoisRequestThread>(request_, settings_, domains_, registries_,
                                                     messages_, log_, sink_);
    } catch (const std::exception& e) {
        // No thread started: nothing will end the run, so it ends here.
        runActive_ = false;
        ui_->Animate1->Stop();
        AddLogLine(LogError, QString::fromUtf8(e.what()));
    }
}

void TfrmShowProgress::AddLogLine(LogImage image, const std::string& text) {
    AddLogLine(image, QString::fromStdString(text));
}

void TfrmShowProgress::AddLogLine(LogImage image, const QString& text) {
    const int index = image == LogError ? LogError : LogInformation;
    auto* item = new QTreeWidgetItem(ui_->lvLog, QStringList{text}); // owned by lvLog
    item->setIcon(0, logIcons_[index]);
    item->setData(0, LogImageRole, index);
    item->setToolTip(0, text);
    lineWidth_ =
        std::max(lineWidth_, ui_->lvLog->sizeHintForIndex(ui_->lvLog->indexFromItem(item)).width());
    FitLogColumn();
    ui_->lvLog->scrollToItem(item); // the newest line stays in view
}

void TfrmShowProgress::FitLogColumn() {
    // As wide as the longest line, and never narrower than the log.
    QTreeWidget* log = ui_->lvLog;
    log->header()->resizeSection(0, std::max(lineWidth_, log->viewport()->width()));
}

bool TfrmShowProgress::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->lvLog->viewport() && event->type() == QEvent::Resize) FitLogColumn();
    return QDialog::eventFilter(watched, event);
}

void TfrmShowProgress::EndOfRun(bool close) {
    // The worker waits inside this call: the run object is released later, never here.
    runActive_ = false;
    ui_->Animate1->Stop();
    if (close) QDialog::done(QDialog::Rejected);
}

void TfrmShowProgress::StopAndWait() {
    if (run_) {
        run_->Stop();         // ends a look-up or exchange in progress at once
        marshaller_.Refuse(); // and a call of the worker waiting for this thread
        run_->Wait();
        run_.reset();
    }
    if (runActive_) { // its EndOfRun was refused
        runActive_ = false;
        ui_->Animate1->Stop();
    }
}

void TfrmShowProgress::btnCloseClick() {
    if (runActive_ && run_) {
        run_->Stop();
        AddLogLine(LogInformation, QString::fromStdString(messages_.sStopWhois));
        return; // the run closes the window when it has ended
    }
    reject();
}

} // namespace tesseron
