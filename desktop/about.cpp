#include "desktop/about.h"

#include "app/TesseronVersion.h"
#include "desktop/DesktopServices.h"
#include "desktop/QtText.h"
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

TAboutBox::TAboutBox(QWidget* owner, DesktopServices& desktop)
    : QDialog(owner), ui_(std::make_unique<Ui::TAboutBox>()), desktop_(desktop) {
    ui_->setupUi(this);
    QPalette background = palette();
    background.setColor(QPalette::Window, background.color(QPalette::Light));
    setPalette(background);

    ui_->Label1->setText(ToQString(GetVersionString(true)));
    QFont title = ui_->Label1->font();
    title.setPixelSize(21);
    ui_->Label1->setFont(title);
    ui_->Label1->adjustSize();
    StyleAsLink(ui_->lHome, QUrl(SiteUrl()).host());
    StyleAsLink(ui_->lMail, SupportAddress());
    PlaceTexts();
    ui_->lHome->installEventFilter(this);
    ui_->lMail->installEventFilter(this);
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::setVisible(bool visible) {
    // The texts may have been translated since the box was made; placed before the box
    // is centred on its owner.
    if (visible && !isVisible()) PlaceTexts();
    QDialog::setVisible(visible);
}

// The box keeps its designed width. A link stays at its designed place when its text fits
// there; otherwise it moves left to the box's edge, its caption wrapping narrower beside
// it, or, with too little room left for the caption, below the caption. The button stays
// below everything.
void TAboutBox::PlaceTexts() {
    constexpr int kWidth = 380;
    constexpr int kRight = kWidth - 12;
    constexpr int kGap = 8;
    constexpr int kNarrowestCaption = 120;
    for (QLabel* label : {ui_->Label1, ui_->Label4, ui_->lHome, ui_->lMail})
        label->adjustSize();
    struct Pair {
        QLabel* caption;
        QLabel* link;
        QRect captionDesign;
        QPoint linkDesign;
    };
    const Pair pairs[] = {{ui_->Label4, ui_->lHome, {32, 56, 220, 16}, {258, 56}},
                          {ui_->Label5, ui_->lMail, {32, 107, 169, 41}, {239, 125}}};
    int bottom = ui_->Label1->geometry().bottom();
    for (const Pair& p : pairs) {
        QLabel* caption = p.caption;
        const bool wraps = caption->wordWrap();
        const auto captionHeight = [&](int width) {
            return wraps ? std::max(p.captionDesign.height(), caption->heightForWidth(width))
                         : caption->sizeHint().height();
        };
        const int captionText = wraps ? p.captionDesign.width() : caption->sizeHint().width();
        const int linkWidth = p.link->width();
        int captionWidth = wraps ? p.captionDesign.width() : captionText;
        QPoint link = p.linkDesign;
        bool below = false;
        if (link.x() + linkWidth > kRight) {
            link.setX(kRight - linkWidth);
            const int room = link.x() - kGap - p.captionDesign.x();
            if (room < captionText) {
                if (wraps && room >= kNarrowestCaption)
                    captionWidth = room; // the caption wraps narrower beside the link
                else
                    below = true;
            }
        }
        const int height = captionHeight(captionWidth);
        caption->setGeometry(p.captionDesign.x(), p.captionDesign.y(), captionWidth, height);
        if (below)
            link = {p.captionDesign.x(), caption->geometry().bottom() + 4};
        else
            link.ry() += (height - p.captionDesign.height()) / 2;
        p.link->move(link);
        bottom = std::max({bottom, caption->geometry().bottom(), p.link->geometry().bottom()});
    }
    ui_->Button1->move(145, std::max(176, bottom + 16));
    setFixedSize(kWidth, std::max(219, ui_->Button1->geometry().bottom() + 19));
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == ui_->lHome) desktop_.OpenInShell(SiteUrl());
        if (watched == ui_->lMail) desktop_.MailToInShell(SupportAddress());
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tesseron
