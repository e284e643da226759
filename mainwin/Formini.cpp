#include "mainwin/Formini.h"

#include "desktop/DesktopServices.h"

namespace tesseron {
namespace {

constexpr mode_t kOwnerOnly = 0600; // the file holds the proxy password

} // namespace

TFormINI::TFormINI(ProgramPaths paths, TSettings& settings, DesktopServices& desktop,
                   QWidget* parent)
    : QMainWindow(parent), paths_(std::move(paths)), settings_(settings),
      settingsFile_(paths_.SettingsFile(), kOwnerOnly, FileModeRule::Always), desktop_(desktop) {
    LoadSettings(settingsFile_, paths_, settings_, &desktop_);
}

TFormINI::~TFormINI() {
    // Only reached without Destroy() when a derived constructor failed; the settings are
    // then written without the destroy handler, which cannot run on a half-built window.
    if (!destroyed_) {
        destroyed_ = true;
        desktop_.SetMainWindow(nullptr, nullptr);
        SaveAll();
    }
}

void TFormINI::ApplyStoredPlacement() {
    const auto p = ReadWindowPlacement(settingsFile_, {0, 0, kDesignedWidth, kDesignedHeight});
    // Applied as read, also far outside the screen.
    move(p.left, p.top);
    resize(p.width, p.height);
}

void TFormINI::setVisible(bool visible) {
    if (visible && firstShow_) {
        firstShow_ = false;
        Qt::WindowStates state = windowState();
        switch (ReadWindowState(settingsFile_)) {
        case 0:
            state &= ~(Qt::WindowMinimized | Qt::WindowMaximized);
            break;
        case 1:
            state = (state & ~Qt::WindowMaximized) | Qt::WindowMinimized;
            break;
        case 2:
            state = (state & ~Qt::WindowMinimized) | Qt::WindowMaximized;
            break;
        default:
            break; // the designed state stays
        }
        if (startMinimised_) state |= Qt::WindowMinimized;
        setWindowState(state);
    }
    QMainWindow::setVisible(visible);
}

void TFormINI::Destroy() {
    if (destroyed_) return;
    destroyed_ = true;
    // The window is on its way out: a report of the saves stands alone.
    desktop_.SetMainWindow(nullptr, nullptr);
    try {
        FormDestroy();
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    }
    SaveAll();
}

void TFormINI::SaveAll() {
    try {
        // A folder we may not use (none named, another user's) is never written in.
        paths_.EnsureWritableDir();
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
        return;
    }
    try {
        SaveSettings(settingsFile_, settings_);
        const Qt::WindowStates s = windowState();
        const auto state = (s & Qt::WindowMinimized)   ? WindowStateValue::Minimized
                           : (s & Qt::WindowMaximized) ? WindowStateValue::Maximized
                                                       : WindowStateValue::Normal;
        SaveWindowPlacement(settingsFile_, state, {y(), x(), width(), height()});
    } catch (const std::exception& e) {
        // One report; the keys after the refused write stay as they were in the file.
        ReportError(QString::fromUtf8(e.what()));
    }
}

void TFormINI::ReportError(const QString& message) {
    // The results and the settings share a folder: a refused folder is said once.
    if (message == lastReported_) return;
    lastReported_ = message;
    desktop_.ShowError(message);
}

} // namespace tesseron
