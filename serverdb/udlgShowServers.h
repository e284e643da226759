#pragma once

#include <QDialog>

#include <memory>

class QLineEdit;
class QMenu;
class QTreeWidgetItem;

namespace Ui {
class TdlgShowServers;
}

namespace tesseron {

class DesktopServices;
class TDomainCollection;

// The read-only browser of the server list: zones and their servers as a tree, the
// details of the selected node beside it. The list must not change while it is open.
class TdlgShowServers final : public QDialog {
    Q_OBJECT

public:
    // A click on a non-empty web address box opens its text through `desktop`.
    TdlgShowServers(QWidget* owner, const TDomainCollection& domains, DesktopServices& desktop);
    ~TdlgShowServers() override;

    void actCollapseAllExecute();
    void actExpandAllExecute();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildServerTree();
    void tvDomainsChange(QTreeWidgetItem* node);
    void edWWWAddressClick(QLineEdit* box);

    std::unique_ptr<Ui::TdlgShowServers> ui_;
    const TDomainCollection& domains_;
    DesktopServices& desktop_;
    QMenu* pmTLD_ = nullptr;
};

} // namespace tesseron
