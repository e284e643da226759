#pragma once

#include "desktop/ProgramPaths.h"
#include "mainwin/ProfileFile.h"
#include "mainwin/Settings.h"
#include "serverdb/uDomainList.h"

#include <QMainWindow>
#include <memory>

namespace Ui {
class TTesseronForm;
}

// The main window. It loads the settings before anything else and writes them back
// when it goes away.
class TTesseronForm final : public QMainWindow {
    Q_OBJECT

public:
    TTesseronForm(tesseron::ProgramPaths paths, tesseron::TSettings& settings,
                  QWidget* parent = nullptr);
    ~TTesseronForm() override;
    TTesseronForm(const TTesseronForm&) = delete;
    TTesseronForm& operator=(const TTesseronForm&) = delete;

private:
    void LoadServerList();

    tesseron::ProgramPaths paths_;
    tesseron::TSettings& settings_;
    tesseron::ProfileFile settingsFile_;
    std::unique_ptr<Ui::TTesseronForm> ui_;
    tesseron::TDomainCollection domains_;
};
