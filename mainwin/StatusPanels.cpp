#include "mainwin/StatusPanels.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>
#include <QVariant>

#include <algorithm>

namespace tesseron {
namespace {

using Widths = std::array<int, StatusPanels::kCount>;

// Adds `amount` to widths[from, to) in proportion to wanted - have.
void Share(Widths& widths, int amount, const Widths& wanted, const Widths& have, std::size_t from,
           std::size_t to) {
    long long total = 0;
    for (std::size_t i = from; i < to; ++i)
        total += wanted[i] - have[i];
    if (total <= 0 || amount <= 0) return;
    int given = 0;
    for (std::size_t i = from; i < to; ++i) {
        const int share = static_cast<int>(amount * (wanted[i] - have[i]) / total);
        widths[i] += share;
        given += share;
    }
    for (std::size_t i = to; i-- > from && given < amount;)
        if (wanted[i] > have[i]) {
            widths[i] += amount - given; // the rounding remainder
            break;
        }
}

// Sets widths[0, to) to the needed widths, capped at the one level that makes them add up
// to `room`: the longest texts give way first.
void CapLongest(Widths& widths, const Widths& needed, int room, std::size_t to) {
    Widths sorted = needed;
    std::sort(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(to));
    int cap = sorted[to - 1];
    int left = room;
    for (std::size_t k = 0; k < to; ++k) {
        const int others = static_cast<int>(to - k);
        if (sorted[k] * others > left) {
            cap = left / others;
            break;
        }
        left -= sorted[k];
    }
    int given = 0;
    for (std::size_t i = 0; i < to; ++i) {
        widths[i] = std::min(needed[i], cap);
        given += widths[i];
    }
    for (std::size_t i = 0; i < to && given < room; ++i)
        if (needed[i] > widths[i]) {
            widths[i] += room - given; // the rounding remainder
            break;
        }
}

} // namespace

StatusPanels::StatusPanels(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatusPanels"));
}

void StatusPanels::SetPanels(std::array<Panel, kCount> panels) {
    panels_ = std::move(panels);
    QStringList texts;
    for (const auto& panel : panels_)
        texts << panel.text;
    setProperty("panelTexts", texts);
    Relayout();
}

QSize StatusPanels::sizeHint() const {
    int width = 0;
    for (std::size_t i = 0; i < kCount; ++i)
        width += Wanted(i);
    return {width, std::max(fontMetrics().height() + 2, kImageWidth + 2)};
}

void StatusPanels::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void StatusPanels::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) Relayout();
}

bool StatusPanels::event(QEvent* event) {
    // A text cut short is shown whole in the panel's tool tip.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        for (std::size_t i = 0; i < panels_.size(); ++i) {
            if (!rects_[i].contains(help->pos())) continue;
            if (Needed(i) > rects_[i].width()) {
                QToolTip::showText(help->globalPos(), panels_[i].text, this, rects_[i]);
                return true;
            }
        }
        QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void StatusPanels::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const QRect cell = rects_[i];
        if (cell.width() <= 0) continue;
        QStyleOption frame;
        frame.initFrom(this);
        frame.rect = cell;
        style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &painter, this);
        // Styles that draw no panel frame still get a visible border between panels.
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(cell.right(), 2, cell.right(), cell.bottom() - 2);
        painter.setPen(palette().color(QPalette::WindowText));
        const Panel& panel = panels_[i];
        painter.save();
        painter.setClipRect(cell);
        if (!panel.icon.isNull())
            panel.icon.paint(&painter,
                             QRect(cell.left() + panel.iconX, 0, kImageWidth, kImageWidth));
        if (!panel.text.isEmpty()) {
            const QRect room(cell.left() + panel.textX, 1, cell.width() - panel.textX - 2,
                             height() - 1);
            painter.drawText(room, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                             fontMetrics().elidedText(panel.text, Qt::ElideRight, room.width()));
        }
        painter.restore();
    }
}

// The widths were made for a font about 5 pixels wide per character; larger desktop fonts
// get proportionally wider panels.
int StatusPanels::Designed(std::size_t i) const {
    const double scale = std::max(1.0, fontMetrics().averageCharWidth() / 5.0);
    return static_cast<int>(kWidths[i] * scale);
}

// The room the panel's text needs to be read whole; 0 for an empty panel.
int StatusPanels::Needed(std::size_t i) const {
    const Panel& panel = panels_[i];
    if (panel.text.isEmpty()) return 0;
    return panel.textX + fontMetrics().horizontalAdvance(panel.text) + 4;
}

void StatusPanels::Relayout() {
    constexpr std::size_t n = kCount;
    Widths widths{};
    Widths needed{};
    Widths wanted{};
    int sumNeeded = 0;
    int sumWanted = 0;
    for (std::size_t i = 0; i < n; ++i) {
        needed[i] = Needed(i);
        wanted[i] = Wanted(i);
        sumNeeded += needed[i];
        sumWanted += wanted[i];
    }
    const int room = width();
    if (sumWanted <= room) {
        widths = wanted;
    } else if (sumNeeded <= room) {
        // Every text fits: the rest of the room goes to the panels by what they lack.
        widths = needed;
        Share(widths, room - sumNeeded, wanted, needed, 0, n);
    } else {
        // The counters stay whole; the texts left of them share what remains, the
        // longest giving way first so that the short ones can still be read.
        int left = room;
        for (std::size_t i = kFirstCounter; i < n; ++i) {
            widths[i] = std::min(needed[i], std::max(left, 0));
            left -= widths[i];
        }
        CapLongest(widths, needed, std::max(left, 0), kFirstCounter);
    }
    QVariantList rects;
    int x = 0;
    for (std::size_t i = 0; i < n; ++i) {
        rects_[i] = QRect(x, 0, widths[i], height());
        rects << rects_[i];
        x += widths[i];
    }
    setProperty("panelRects", rects);
    update();
}

} // namespace tesseron
