#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TAboutBox;
}

namespace tesseron {

class DesktopServices;

// The program's name and full version with links to the maker's site and support mail.
class TAboutBox final : public QDialog {
    Q_OBJECT

public:
    // The links go to the desktop through `desktop`.
    TAboutBox(QWidget* owner, DesktopServices& desktop);
    ~TAboutBox() override;

    void setVisible(bool visible) override;

    // The maker's web address and support mail address, kept with the version constants.
    static QString SiteUrl();
    static QString SupportAddress();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceTexts();

    std::unique_ptr<Ui::TAboutBox> ui_;
    DesktopServices& desktop_;
};

} // namespace tesseron
