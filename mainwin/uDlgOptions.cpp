#include "mainwin/uDlgOptions.h"

#include "desktop/DesktopServices.h"
#include "mainwin/Settings.h"
#include "ui_uDlgOptions.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QPalette>
#include <QShowEvent>
#include <QSpinBox>

#include <algorithm>
#include <array>

namespace tesseron {
namespace {

// One icon per page, in page order.
constexpr std::array<const char*, 4> kPageIcons = {":/icons/query.svg", ":/icons/servers.svg",
                                                   ":/icons/options.svg", ":/icons/browser.svg"};

// Enabled edits take the window (text entry) background, disabled ones the button face.
void SetEditEnabled(QLineEdit* edit, bool enabled) {
    edit->setEnabled(enabled);
    QPalette palette = edit->palette();
    const QColor colour = QApplication::palette(edit).color(
        QPalette::Active, enabled ? QPalette::Base : QPalette::Button);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    edit->setPalette(palette);
}

// The controls that show one field each, as they are; the others need a rule of their own.
// An up-down's edit carries the name language files and tests know it by.
const struct {
    TUpDown* Ui::TdlgOptions::*upDown;
    int32_t TSettings::*field;
    const char* editName;
} kUpDowns[] = {
    {&Ui::TdlgOptions::udwhoisTimeout, &TSettings::whoisTimeout, "edwhoisTimeout"},
    {&Ui::TdlgOptions::udHistoryLines, &TSettings::HistoryLines, "edHistoryLines"},
    {&Ui::TdlgOptions::udMaxWhoisResults, &TSettings::MaxWhoisResults, "edMaxWhoisResults"},
};
const struct {
    QCheckBox* Ui::TdlgOptions::*box;
    bool TSettings::*field;
} kCheckBoxes[] = {
    {&Ui::TdlgOptions::cbUpdateIfExists, &TSettings::UpdateIfExists},
    {&Ui::TdlgOptions::cbDetermineIpAddress, &TSettings::DetermineIpAddress},
    {&Ui::TdlgOptions::cbReverseName, &TSettings::DetermineReverseName},
    {&Ui::TdlgOptions::cbSmartFilterURL, &TSettings::bSmartFilterURL},
};

} // namespace

std::optional<qlonglong> TUpDown::TypedNumber(const QString& text) const {
    QString digits = text.trimmed();
    digits.remove(locale().groupSeparator());
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative) digits.remove(0, 1);
    // Up to nine digits: a number, however far out of range, that cannot overflow.
    if (digits.isEmpty() || digits.size() > 9) return std::nullopt;
    for (const QChar c : digits)
        if (!c.isDigit() || c.unicode() > '9') return std::nullopt;
    const qlonglong value = digits.toLongLong();
    return negative ? -value : value;
}

QValidator::State TUpDown::validate(QString& text, int& pos) const {
    const QValidator::State state = QSpinBox::validate(text, pos);
    if (state != QValidator::Invalid) return state;
    return TypedNumber(text) ? QValidator::Intermediate : QValidator::Invalid;
}

void TUpDown::fixup(QString& text) const {
    if (const auto typed = TypedNumber(text)) {
        const qlonglong bounded = std::clamp<qlonglong>(*typed, minimum(), maximum());
        if (bounded != *typed) {
            text = textFromValue(static_cast<int>(bounded));
            return;
        }
    }
    QSpinBox::fixup(text);
}

TdlgOptions::TdlgOptions(QWidget* owner, TSettings& settings, DesktopRegistration& desktop)
    : QDialog(owner), ui_(std::make_unique<Ui::TdlgOptions>()), settings_(settings),
      desktop_(desktop) {
    ui_->setupUi(this);
    setFixedSize(526, 340);
    for (const auto& u : kUpDowns) {
        // The range the settings load keeps the field in; thousands shown with a separator.
        TUpDown* upDown = (*ui_).*u.upDown;
        const IntRange range = SettingRange(u.field);
        upDown->setRange(range.min, range.max);
        upDown->setGroupSeparatorShown(true);
        if (auto* edit = upDown->findChild<QLineEdit*>()) edit->setObjectName(u.editName);
    }
    ui_->edProxyPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    ui_->lvPages->viewport()->installEventFilter(this);

    // The two proxy switches are actions so language files and menus can address them.
    actUseProxy_ = new QAction(ui_->cbUseProxy->text(), this);
    actUseProxy_->setObjectName(QStringLiteral("actUseProxy"));
    actUseProxy_->setCheckable(true);
    actProxyAuthentication_ = new QAction(ui_->cbProxyAuthentication->text(), this);
    actProxyAuthentication_->setObjectName(QStringLiteral("actProxyAuthentication"));
    actProxyAuthentication_->setCheckable(true);

    LoadControls();

    connect(ui_->lvPages, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < ui_->pcOptions->count()) ui_->pcOptions->setCurrentIndex(row);
    });
    connect(ui_->cbUseProxy, &QCheckBox::toggled, this, [this] {
        actUseProxy_->setChecked(ui_->cbUseProxy->isChecked());
        UpdateUseProxy();
    });
    connect(ui_->cbProxyAuthentication, &QCheckBox::toggled, this, [this] {
        actProxyAuthentication_->setChecked(ui_->cbProxyAuthentication->isChecked());
        UpdateProxyAuthentication();
    });
    connect(ui_->OKBtn, &QPushButton::clicked, this, &TdlgOptions::accept);
    connect(ui_->CancelBtn, &QPushButton::clicked, this, &TdlgOptions::reject);
    UpdateUseProxy();
    UpdateProxyAuthentication();
}

TdlgOptions::~TdlgOptions() = default;

void TdlgOptions::LoadControls() {
    const TSettings& s = settings_;
    for (const auto& u : kUpDowns)
        ((*ui_).*u.upDown)->setValue(s.*u.field);
    for (const auto& c : kCheckBoxes)
        ((*ui_).*c.box)->setChecked(s.*c.field);
    display_ = {s.TextColor, s.BackgroundColor, s.FontName, s.FontSize, s.FontStyle};
    // Radio buttons are exclusive in Qt; leaving all three unchecked for an unknown value
    // needs the exclusivity off while they are set.
    const std::array radios = {ui_->rbWindowQueryCloseAfterSucces, ui_->rbWindowQueryCloseAlways,
                               ui_->rbWindowQueryNoClose};
    for (auto* radio : radios)
        radio->setAutoExclusive(false);
    for (size_t i = 0; i < radios.size(); ++i)
        radios[i]->setChecked(s.PropWNDQuery == i);
    for (auto* radio : radios)
        radio->setAutoExclusive(true);
    // The choices are in the setting's order; a value out of range shows the default.
    const int rdapMode = s.RdapMode >= 0 && s.RdapMode < ui_->cmbRdapMode->count()
                             ? s.RdapMode
                             : TSettings{}.RdapMode;
    ui_->cmbRdapMode->setCurrentIndex(rdapMode);
    ui_->cbUseProxy->setChecked(s.proxyVersion != 0);
    actUseProxy_->setChecked(s.proxyVersion != 0);
    if (s.proxyVersion != 0) ui_->cmbProxyVersion->setCurrentIndex(s.proxyVersion - 1);
    ui_->edProxyHost->setText(QString::fromStdString(s.proxyHost));
    ui_->edProxyPort->setText(QString::number(s.proxyPort));
    ui_->cbProxyAuthentication->setChecked(s.proxyAuthentication != 0);
    actProxyAuthentication_->setChecked(s.proxyAuthentication != 0);
    ui_->edProxyUser->setText(QString::fromStdString(s.proxyUserName));
    ui_->edProxyPassword->setText(QString::fromStdString(s.proxyPassword));
    ui_->cbIntegrateToIE->setChecked(s.IntegrateToIE);
    ui_->cbStartWithWindows->setChecked(s.StartWithWindows);
}

void TdlgOptions::StoreControls() {
    TSettings& s = settings_;
    // A number still in its edit counts as the user left it: accepting from the keyboard
    // does not take the focus from the edit first.
    for (const auto& u : kUpDowns) {
        TUpDown* upDown = (*ui_).*u.upDown;
        upDown->interpretText();
        s.*u.field = upDown->value();
    }
    for (const auto& c : kCheckBoxes)
        s.*c.field = ((*ui_).*c.box)->isChecked();
    s.TextColor = display_.textColor;
    s.BackgroundColor = display_.backgroundColor;
    s.FontName = display_.fontName;
    s.FontSize = display_.fontSize;
    s.FontStyle = display_.fontStyle;

    if (ui_->rbWindowQueryCloseAfterSucces->isChecked()) s.PropWNDQuery = 0;
    if (ui_->rbWindowQueryCloseAlways->isChecked()) s.PropWNDQuery = 1;
    if (ui_->rbWindowQueryNoClose->isChecked()) s.PropWNDQuery = 2;

    if (ui_->cmbRdapMode->currentIndex() >= 0) s.RdapMode = ui_->cmbRdapMode->currentIndex();

    if (ui_->cbUseProxy->isChecked()) {
        s.proxyVersion = ui_->cmbProxyVersion->currentIndex() + 1;
        s.proxyHost = ui_->edProxyHost->text().toStdString();
        bool isNumber = false;
        const int port = ui_->edProxyPort->text().toInt(&isNumber, 10);
        s.proxyPort = isNumber ? port : TSettings{}.proxyPort;
    } else {
        s.proxyVersion = 0;
    }

    if (ui_->cbProxyAuthentication->isChecked()) {
        s.proxyAuthentication = 1;
        s.proxyUserName = ui_->edProxyUser->text().toStdString();
        s.proxyPassword = ui_->edProxyPassword->text().toStdString();
    } else {
        s.proxyAuthentication = 0;
    }

    // The record takes the new value before the registration runs, so a failing
    // registration still leaves the user's choice recorded.
    const bool browserButton = ui_->cbIntegrateToIE->isChecked();
    if (browserButton != s.IntegrateToIE) {
        s.IntegrateToIE = browserButton;
        desktop_.SetBrowserButton(browserButton);
    }
    const bool autostart = ui_->cbStartWithWindows->isChecked();
    if (autostart != s.StartWithWindows) {
        s.StartWithWindows = autostart;
        desktop_.SetAutostart(autostart);
    }
}

void TdlgOptions::accept() {
    StoreControls();
    QDialog::accept();
}

void TdlgOptions::setVisible(bool visible) {
    if (visible && !isVisible()) FitToTexts();
    QDialog::setVisible(visible);
}

// The designed size, unless the (translated) texts or the desktop's font need more: then
// the pages widen rather than cut their texts off.
void TdlgOptions::FitToTexts() {
    int pageWidth = 375;
    for (int i = 0; i < ui_->pcOptions->count(); ++i)
        pageWidth = std::max(pageWidth, ui_->pcOptions->widget(i)->minimumSizeHint().width());
    ui_->pcOptions->setFixedWidth(pageWidth);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QSize needed = layout()->minimumSize();
    setFixedSize(std::max(526, needed.width()), std::max(340, needed.height()));
}

void TdlgOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return; // only the dialog's own show, not a window-manager restore
    FillPageList();
    UpdateUseProxy();
    UpdateProxyAuthentication();
}

void TdlgOptions::FillPageList() {
    QListWidget* list = ui_->lvPages;
    list->clear();
    for (int i = 0; i < ui_->pcOptions->count(); ++i) {
        QWidget* page = ui_->pcOptions->widget(i);
        auto* row = new QListWidgetItem(page->property("Caption").toString(), list);
        if (i < static_cast<int>(kPageIcons.size())) row->setIcon(QIcon(kPageIcons[i]));
    }
    list->setCurrentRow(0);
    ui_->pcOptions->setCurrentIndex(0);
}

void TdlgOptions::UpdateUseProxy() {
    const bool on = ui_->cbUseProxy->isChecked();
    ui_->cmbProxyVersion->setEnabled(on);
    ui_->cbProxyAuthentication->setEnabled(on);
    SetEditEnabled(ui_->edProxyHost, on);
    SetEditEnabled(ui_->edProxyPort, on);
    if (!on) ui_->cbProxyAuthentication->setChecked(false);
}

void TdlgOptions::UpdateProxyAuthentication() {
    const bool on = ui_->cbProxyAuthentication->isChecked();
    SetEditEnabled(ui_->edProxyUser, on);
    SetEditEnabled(ui_->edProxyPassword, on);
}

bool TdlgOptions::eventFilter(QObject* watched, QEvent* event) {
    // The list handles the mouse first; the rule then applies at once. The list may clear
    // its selection on the press or on the release, so both are followed.
    const QEvent::Type type = event->type();
    if (watched == ui_->lvPages->viewport() && !forwarding_ &&
        (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
         type == QEvent::MouseButtonDblClick)) {
        forwarding_ = true;
        QCoreApplication::sendEvent(watched, event);
        forwarding_ = false;
        SelectLastPageIfNone();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TdlgOptions::SelectLastPageIfNone() {
    QListWidget* list = ui_->lvPages;
    if (list->count() == 0 || !list->selectedItems().isEmpty()) return;
    list->setCurrentRow(list->count() - 1, QItemSelectionModel::ClearAndSelect);
    list->setFocus();
}

} // namespace tesseron
