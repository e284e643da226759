#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TAboutBox;
}

namespace tesseron {

// The program's name and full version with links to the maker's site and support mail.
class TAboutBox final : public QDialog {
    Q_OBJECT

public:
    struct Links {
        std::function<void(const QString& url)> openUrl;    // the web site
        std::function<void(const QString& address)> mailTo; // a new mail to the address
    };
    TAboutBox(QWidget* owner, Links links);
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
    Links links_;
};

} // namespace tesseron
