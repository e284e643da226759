#include "serverdb/udlgShowServers.h"

#include "app/Resources.h"
#include "desktop/DesktopServices.h"
#include "desktop/QtText.h"
#include "query/ServerRoute.h"
#include "serverdb/uDomainList.h"
#include "ui_udlgShowServers.h"

#include <QCollator>
#include <QEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmapCache>
#include <QToolTip>

#include <algorithm>

namespace tesseron {
namespace {

// A node knows the zone or server it shows; its type tells which. A member instead of
// item data keeps building big trees cheap.
enum NodeKind { kZoneNode = QTreeWidgetItem::UserType, kServerNode };

class Node final : public QTreeWidgetItem {
public:
    Node(const QString& text, NodeKind kind, const void* object)
        : QTreeWidgetItem(QStringList{text}, kind), object_(object) {}
    const void* Object() const { return object_; }

private:
    const void* object_;
};

struct TreeIcons {
    QIcon zone{QStringLiteral(":/icons/zones.svg")};
    QIcon server{QStringLiteral(":/icons/servers.svg")};
};

QTreeWidgetItem* MakeNode(const QString& text, NodeKind kind, const void* object,
                          const QIcon& icon) {
    auto node = std::make_unique<Node>(text, kind, object);
    node->setIcon(0, icon);
    return node.release(); // the caller hands it to a parent node or the tree
}

// One level of zones with their sub-trees: sub-zones first, then servers, in list order.
// Nodes are built detached and handed to the tree in one go, which keeps big lists fast.
void AddDomainsToTree(QList<QTreeWidgetItem*>& level, const TDomainCollection& zones,
                      const TreeIcons& icons) {
    for (int i = 0; i < zones.Count(); ++i) {
        const TDomainItem& zone = zones[i];
        QTreeWidgetItem* node =
            MakeNode(ToQString(zone.Suffix) + QStringLiteral(" - ") + ToQString(zone.Description),
                     kZoneNode, &zone, icons.zone);
        level.append(node);
        QList<QTreeWidgetItem*> children;
        AddDomainsToTree(children, zone.SubDomains, icons);
        for (int s = 0; s < zone.WhoisServers.Count(); ++s) {
            const TWhoisServerItem& server = zone.WhoisServers[s];
            children.append(MakeNode(ToQString(server.Name), kServerNode, &server, icons.server));
        }
        node->addChildren(children);
    }
}

void SetExpandedBelow(QTreeWidgetItem* node, bool expanded) {
    for (int i = 0; i < node->childCount(); ++i)
        SetExpandedBelow(node->child(i), expanded);
    node->setExpanded(expanded);
}

// A read-only box that reads as a link.
void StyleAsLink(QLineEdit* box) {
    box->setCursor(Qt::PointingHandCursor);
    QFont font = box->font();
    font.setUnderline(true);
    box->setFont(font);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Text, palette.color(QPalette::Highlight));
    box->setPalette(palette);
}

} // namespace

TdlgShowServers::TdlgShowServers(QWidget* owner, const TDomainCollection& domains,
                                 DesktopServices& desktop, const RegistryBlocks* registries)
    : QDialog(owner), ui_(std::make_unique<Ui::TdlgShowServers>()), domains_(domains),
      registries_(registries), desktop_(desktop) {
    InitTesseronResources();
    ui_->setupUi(this);
    ui_->layZone->setColumnStretch(0, 1);
    ui_->layZone->setColumnStretch(1, 3);

    QPalette band = ui_->Panel7->palette();
    band.setColor(QPalette::Window, Qt::white);
    band.setColor(QPalette::WindowText, Qt::black);
    ui_->Panel7->setPalette(band);
    // Drawn once per process: rendering the picture is a good part of opening the dialog.
    QPixmap picture;
    if (!QPixmapCache::find(QStringLiteral("tesseron/rating48"), &picture)) {
        picture = QIcon(QStringLiteral(":/icons/rating.svg")).pixmap(48, 48);
        QPixmapCache::insert(QStringLiteral("tesseron/rating48"), picture);
    }
    ui_->Image1->setPixmap(picture);

    StyleAsLink(ui_->edWWWAddress);
    StyleAsLink(ui_->edOnLine);
    ui_->edWWWAddress->installEventFilter(this);
    ui_->edOnLine->installEventFilter(this);
    ui_->tvDomains->viewport()->installEventFilter(this);

    // The buttons follow their actions, so a language file that renames an action renames
    // the button too.
    const auto bind = [](QPushButton* button, QAction* action) {
        button->setText(action->text());
        connect(action, &QAction::changed, button,
                [button, action] { button->setText(action->text()); });
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
    };
    bind(ui_->btnCollapseAll, ui_->actCollapseAll);
    bind(ui_->btnExpandAll, ui_->actExpandAll);
    connect(ui_->actCollapseAll, &QAction::triggered, this,
            &TdlgShowServers::actCollapseAllExecute);
    connect(ui_->actExpandAll, &QAction::triggered, this, &TdlgShowServers::actExpandAllExecute);

    pmTLD_ = new QMenu(this); // owned by the dialog
    pmTLD_->setObjectName(QStringLiteral("pmTLD"));
    pmTLD_->addAction(ui_->actCollapseAll);
    pmTLD_->addAction(ui_->actExpandAll);
    connect(ui_->tvDomains, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        pmTLD_->popup(ui_->tvDomains->viewport()->mapToGlobal(at));
    });

    connect(ui_->tvDomains, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { tvDomainsChange(current); });

    // Fonts wider than the design's may need more room; the size stays fixed otherwise.
    const int width = std::max(560, sizeHint().width());
    int height = std::max(386, sizeHint().height());
    if (layout()->hasHeightForWidth()) height = std::max(height, layout()->heightForWidth(width));
    setFixedSize(width, height);

    BuildServerTree();
    if (ui_->tvDomains->topLevelItemCount() > 0)
        ui_->tvDomains->setCurrentItem(ui_->tvDomains->topLevelItem(0));
}

TdlgShowServers::~TdlgShowServers() = default;

void TdlgShowServers::BuildServerTree() {
    QTreeWidget* tree = ui_->tvDomains;
    tree->setUpdatesEnabled(false);
    tree->clear();
    const TreeIcons icons;
    QList<QTreeWidgetItem*> top;
    top.reserve(domains_.Count());
    AddDomainsToTree(top, domains_, icons);
    // Only the top level is sorted, case-sensitive and by the user's locale, as
    // QString::localeAwareCompare orders; keys made once keep 10,000 zones quick. Equal
    // texts keep their list order.
    std::vector<std::pair<QCollatorSortKey, QTreeWidgetItem*>> keyed;
    keyed.reserve(top.size());
    for (QTreeWidgetItem* node : top)
        keyed.emplace_back(QCollator::defaultSortKey(node->text(0)), node);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    for (qsizetype i = 0; i < top.size(); ++i)
        top[i] = keyed[std::size_t(i)].second;
    tree->addTopLevelItems(top);
    tree->setUpdatesEnabled(true);
}

void TdlgShowServers::tvDomainsChange(QTreeWidgetItem* node) {
    if (!node) return;
    const void* object = static_cast<const Node*>(node)->Object();
    const TDomainItem* zone = nullptr;
    if (node->type() == kZoneNode) {
        ui_->pnlServer->hide();
        zone = static_cast<const TDomainItem*>(object);
    } else {
        const auto* server = static_cast<const TWhoisServerItem*>(object);
        ui_->pnlServer->show();
        zone = server->Zone();
        ui_->edServerNAme->setText(ToQString(server->Name));
        ui_->edAddress->setText(ToQString(server->Address));
        ui_->edDescription->setPlainText(ToQString(server->Description));
        ui_->edOnLine->setText(ToQString(server->Online));
        ui_->edWWWAddress->setText(ToQString(server->WebInterface));
        ui_->edRating->setText(QString::number(server->Rating));
    }
    ui_->edSuffix->setText(zone ? ToQString(zone->Suffix) : QString());
    ui_->edDomainDescription->setText(zone ? ToQString(zone->Description) : QString());
    ui_->edRdap->setText(zone ? RdapServiceText(zone->Suffix) : QString());
    ui_->edRdap->setCursorPosition(0);
}

QString TdlgShowServers::RdapServiceText(const std::string& suffix) const {
    const ZoneRdapService service = RdapServiceOfZone(registries_, suffix);
    if (service.byNumber)
        return tr("Chosen for each number: the service of the registry that holds it");
    if (!registries_) return {};
    if (service.urls.empty()) return tr("None is known for this zone");
    QStringList urls;
    for (const std::string& url : service.urls)
        urls << ToQString(url);
    return urls.join(QStringLiteral("  "));
}

void TdlgShowServers::edWWWAddressClick(QLineEdit* box) {
    if (!box->text().isEmpty()) desktop_.OpenInShell(box->text());
}

void TdlgShowServers::actCollapseAllExecute() {
    for (int i = 0; i < ui_->tvDomains->topLevelItemCount(); ++i)
        SetExpandedBelow(ui_->tvDomains->topLevelItem(i), false);
}

void TdlgShowServers::actExpandAllExecute() {
    // One repaint for the whole tree instead of one per node.
    ui_->tvDomains->setUpdatesEnabled(false);
    for (int i = 0; i < ui_->tvDomains->topLevelItemCount(); ++i)
        SetExpandedBelow(ui_->tvDomains->topLevelItem(i), true);
    ui_->tvDomains->setUpdatesEnabled(true);
}

bool TdlgShowServers::eventFilter(QObject* watched, QEvent* event) {
    // A name cut short by the tree's width is shown whole in a tool tip.
    if (watched == ui_->tvDomains->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        QTreeWidget* tree = ui_->tvDomains;
        const QModelIndex index = tree->indexAt(help->pos());
        const QRect cell = tree->visualRect(index);
        const bool cut = index.isValid() && (tree->sizeHintForIndex(index).width() > cell.width() ||
                                             cell.right() > tree->viewport()->width());
        if (cut)
            QToolTip::showText(help->globalPos(), index.data().toString(), tree->viewport(), cell);
        else
            QToolTip::hideText();
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        (watched == ui_->edWWWAddress || watched == ui_->edOnLine))
        edWWWAddressClick(static_cast<QLineEdit*>(watched));
    return QDialog::eventFilter(watched, event);
}

} // namespace tesseron
