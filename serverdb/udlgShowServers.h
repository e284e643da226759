#pragma once

#include <QDialog>

#include <memory>
#include <string>

class QLineEdit;
class QMenu;
class QTreeWidgetItem;

namespace Ui {
class TdlgShowServers;
}

namespace tesseron {

class DesktopServices;
class RegistryBlocks;
class TDomainCollection;

// The read-only browser of the server list: zones and their servers as a tree, the
// details of the selected node beside it. The list must not change while it is open.
class TdlgShowServers final : public QDialog {
    Q_OBJECT

public:
    // A click on a non-empty web address box opens its text through `desktop`. A zone's
    // RDAP service comes from `registries`' bootstrap tables (none shown when null).
    TdlgShowServers(QWidget* owner, const TDomainCollection& domains, DesktopServices& desktop,
                    const RegistryBlocks* registries = nullptr);
    ~TdlgShowServers() override;

    void actCollapseAllExecute();
    void actExpandAllExecute();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildServerTree();
    void tvDomainsChange(QTreeWidgetItem* node);
    void edWWWAddressClick(QLineEdit* box);
    QString RdapServiceText(const std::string& suffix) const;

    std::unique_ptr<Ui::TdlgShowServers> ui_;
    const TDomainCollection& domains_;
    const RegistryBlocks* registries_;
    DesktopServices& desktop_;
    QMenu* pmTLD_ = nullptr;
};

} // namespace tesseron
