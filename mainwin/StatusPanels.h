#pragma once

#include <QIcon>
#include <QRect>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cstddef>

namespace tesseron {

// The eight status-bar panels of the main window, painted as one widget. Each panel takes
// its designed width, scaled to the font; when the bar is narrower, the panels give up
// their empty room first, so the zone and server counters stay in view and every text that
// fits is shown whole. A text cut short shows whole in the panel's tool tip.
class StatusPanels final : public QWidget {
public:
    static constexpr std::size_t kCount = 8;
    static constexpr std::array<int, kCount> kWidths{120, 150, 100, 150, 150, 80, 100, 50};
    static constexpr std::size_t kFirstCounter = 5;
    static constexpr int kImageWidth = 16;

    struct Panel {
        QString text;
        QIcon icon;
        int iconX = 1; // offsets from the panel's left edge
        int textX = 1;
    };

    explicit StatusPanels(QWidget* parent);

    // The properties "panelTexts" and "panelRects" tell anyone who asks what is shown where.
    void SetPanels(std::array<Panel, kCount> panels);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int Designed(std::size_t i) const;
    int Needed(std::size_t i) const;
    int Wanted(std::size_t i) const { return std::max(Designed(i), Needed(i)); }
    void Relayout();

    std::array<Panel, kCount> panels_;
    std::array<QRect, kCount> rects_;
};

} // namespace tesseron
