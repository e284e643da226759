#include "mainwin/main.h"

#include "app/TesseronVersion.h"
#include "ui_main.h"

#include <QMessageBox>

using namespace tesseron;

TTesseronForm::TTesseronForm(ProgramPaths paths, TSettings& settings, QWidget* parent)
    : QMainWindow(parent), paths_(std::move(paths)), settings_(settings),
      settingsFile_(paths_.SettingsFile(), 0600) {
    // Settings first: the window's parts are built from them.
    LoadSettings(settingsFile_, paths_, settings_);
    ui_ = std::make_unique<Ui::TTesseronForm>();
    ui_->setupUi(this);
    const auto placement = ReadWindowPlacement(settingsFile_, {0, 0, width(), height()});
    setGeometry(placement.left, placement.top, placement.width, placement.height);
    setWindowTitle(QStringLiteral("%1 %2").arg(version::kProduct, version::kFileVersion));
    LoadServerList();
}

TTesseronForm::~TTesseronForm() {
    try {
        paths_.EnsureWritableDir();
        SaveSettings(settingsFile_, settings_);
        const auto state = isMaximized()   ? WindowStateValue::Maximized
                           : isMinimized() ? WindowStateValue::Minimized
                                           : WindowStateValue::Normal;
        const QRect g = geometry();
        SaveWindowPlacement(settingsFile_, state, {g.top(), g.left(), g.width(), g.height()});
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromUtf8(version::kProduct),
                              QString::fromUtf8(e.what()));
    }
}

void TTesseronForm::LoadServerList() {
    try {
        domains_.LoadFromFile(settings_.ServerListPath);
    } catch (const std::exception& e) {
        ui_->RichEdit1->setPlainText(QString::fromUtf8(e.what()));
    }
    const auto totals = CountTotals(domains_);
    ui_->StatusBar1->showMessage(tr("%1 zones, %2 servers").arg(totals.zones).arg(totals.servers));
}
