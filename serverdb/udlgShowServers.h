#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QLineEdit;
class QMenu;
class QTreeWidgetItem;

namespace Ui {
class TdlgShowServers;
}

namespace tesseron {

class TDomainCollection;

// The read-only browser of the server list: zones and their servers as a tree, the
// details of the selected node beside it. The list must not change while it is open.
class TdlgShowServers final : public QDialog {
    Q_OBJECT

public:
    // openUrl receives the text of a clicked, non-empty web address box.
    TdlgShowServers(QWidget* owner, const TDomainCollection& domains,
                    std::function<void(const QString&)> openUrl);
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
    std::function<void(const QString&)> openUrl_;
    QMenu* pmTLD_ = nullptr;
};

} // namespace tesseron
