#pragma once

#include "desktop/ProfileFile.h"
#include "desktop/ProgramPaths.h"
#include "mainwin/Settings.h"

#include <QMainWindow>
#include <QString>

namespace tesseron {

class DesktopServices;

// Base of the main window: it owns the settings file. Constructing it fills the settings
// record before the derived window builds any component; Destroy() runs the derived
// window's destroy handler and then writes every setting, the placement and the state.
class TFormINI : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kDesignedWidth = WindowPlacement{}.width;
    static constexpr int kDesignedHeight = WindowPlacement{}.height;

    // `desktop` answers the registration probes of the settings load and shows failures.
    TFormINI(ProgramPaths paths, TSettings& settings, DesktopServices& desktop,
             QWidget* parent = nullptr);
    ~TFormINI() override;
    TFormINI(const TFormINI&) = delete;
    TFormINI& operator=(const TFormINI&) = delete;

    TSettings& Settings() const noexcept { return settings_; }
    const ProgramPaths& Paths() const noexcept { return paths_; }
    DesktopServices& Desktop() const noexcept { return desktop_; }

    // The first show applies the saved window state; later shows (from the tray) do not.
    void setVisible(bool visible) override;

protected:
    // Puts the window where the settings file says, with the designed size as default.
    // Called by the derived window once its components exist, before any show.
    void ApplyStoredPlacement();
    // The pre-destruction step: the destroy handler, then the settings. Runs once; the
    // derived window's destructor calls it first, while the window is still whole.
    void Destroy();
    // The derived window's destroy handler.
    virtual void FormDestroy() {}
    // Asks the first show to end minimised whatever the saved state says.
    void SetStartMinimised(bool on) noexcept { startMinimised_ = on; }
    bool FirstShowPending() const noexcept { return firstShow_; }
    void ReportError(const QString& message);

private:
    void SaveAll();

    bool firstShow_ = true;
    bool startMinimised_ = false;
    bool destroyed_ = false;
    ProgramPaths paths_;
    TSettings& settings_;
    ProfileFile settingsFile_;
    DesktopServices& desktop_;
    QString lastReported_;
};

} // namespace tesseron

using tesseron::TFormINI;
