#pragma once

#include <QDialog>
#include <QSpinBox>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class TdlgOptions;
}

namespace tesseron {

class DesktopRegistration;
struct TSettings;

// An up-down whose edit takes a number out of range as typed and, when the edit is left
// or confirmed, shows and keeps the nearest bound instead: 30000 typed into a field that
// ends at 20000 becomes 20,000, never 3,000 with the last keystroke dropped.
class TUpDown final : public QSpinBox {
    Q_OBJECT

public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;

private:
    std::optional<qlonglong> TypedNumber(const QString& text) const;
};

// The options dialog: edits the settings that have no control in the main window. It
// copies the record into its controls when created and back only when accepted; Cancel,
// Esc and the close box leave the record and the desktop registrations untouched.
class TdlgOptions final : public QDialog {
    Q_OBJECT

public:
    // `desktop` switches the registrations; whether they exist the dialog takes from the
    // record, which the settings load filled from the desktop.
    TdlgOptions(QWidget* owner, TSettings& settings, DesktopRegistration& desktop);
    ~TdlgOptions() override;

    void accept() override;
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The values no control shows; carried from the record and back unchanged.
    struct DisplayValues {
        int32_t textColor = 0;
        int32_t backgroundColor = 0;
        std::string fontName;
        int32_t fontSize = 0;
        uint8_t fontStyle = 0;
    };

    void FitToTexts();
    void LoadControls();
    void StoreControls();
    void FillPageList();
    void UpdateUseProxy();
    void UpdateProxyAuthentication();
    void SelectLastPageIfNone();

    std::unique_ptr<Ui::TdlgOptions> ui_;
    TSettings& settings_;
    DesktopRegistration& desktop_;
    DisplayValues display_;
    QAction* actUseProxy_ = nullptr;
    QAction* actProxyAuthentication_ = nullptr;
    bool forwarding_ = false; // a mouse event is being handed to the page list
};

} // namespace tesseron
