#include "desktop/about.h"

#include "app/TesseronVersion.h"
#include "desktop/defaults.h"
#include "ui_about.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>

#include <algorithm>

namespace tesseron {
namespace {

void StyleAsLink(QLabel* label, const QString& text) {
    label->setText(text);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    label->setPalette(palette);
    label->adjustSize();
}

} // namespace

QString TAboutBox::SiteUrl() {
    return QString::fromUtf8(version::kMakerUrl);
}

QString TAboutBox::SupportAddress() {
    return QStringLiteral("support@") + QUrl(SiteUrl()).host();
}

TAboutBox::TAboutBox(QWidget* owner, Links links)
    : QDialog(owner), ui_(std::make_unique<Ui::TAboutBox>()), links_(std::move(links)) {
    ui_->setupUi(this);
    QPalette background = palette();
    background.setColor(QPalette::Window, background.color(QPalette::Light));
    setPalette(background);

    const std::string version = GetVersionString(true);
    ui_->Label1->setText(QString::fromUtf8(version.data(), qsizetype(version.size())));
    QFont title = ui_->Label1->font();
    title.setPixelSize(21);
    ui_->Label1->setFont(title);
    ui_->Label1->adjustSize();
    StyleAsLink(ui_->lHome, QUrl(SiteUrl()).host());
    StyleAsLink(ui_->lMail, SupportAddress());
    // The design's positions hold; fonts wider than the design's widen the box instead of
    // cutting the links off, with the button kept in the middle.
    int width = 380;
    for (QLabel* label : {ui_->Label1, ui_->lHome, ui_->lMail})
        width = std::max(width, label->geometry().right() + 12);
    ui_->Button1->move((width - ui_->Button1->width()) / 2, ui_->Button1->y());
    setFixedSize(width, 219);
    ui_->lHome->installEventFilter(this);
    ui_->lMail->installEventFilter(this);
}

TAboutBox::~TAboutBox() = default;

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == ui_->lHome && links_.openUrl) links_.openUrl(SiteUrl());
        if (watched == ui_->lMail && links_.mailTo) links_.mailTo(SupportAddress());
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tesseron
