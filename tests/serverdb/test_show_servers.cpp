// The server browser and the about box, driven through their real controls offscreen.
#include "app/TesseronVersion.h"
#include "desktop/about.h"
#include "desktop/defaults.h"
#include "locale/LangChanger.h"
#include "locale/QtTranslationTarget.h"
#include "serverdb/RegistryBlocks.h"
#include "serverdb/uDomainList.h"
#include "serverdb/udlgShowServers.h"
#include "support/FakeDesktop.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QHelpEvent>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

#include <filesystem>

namespace tesseron::test {
namespace {

namespace fs = std::filesystem;

TDomainItem& AddZone(TDomainCollection& to, const char* suffix, const char* description) {
    TDomainItem& zone = to.Add();
    zone.Suffix = suffix;
    zone.Description = description;
    return zone;
}

TWhoisServerItem& AddServer(TDomainItem& zone, const char* name, const char* web = "",
                            const char* online = "", int rating = 0) {
    TWhoisServerItem& server = zone.WhoisServers.Add();
    server.Name = name;
    server.Address = std::string("whois.") + name;
    server.WebInterface = web;
    server.Online = online;
    server.Description = std::string("about ") + name;
    server.Rating = rating;
    return server;
}

// Top-level zones out of text order; a zone whose servers come before its sub-zones in the
// file would still list sub-zones first.
void FillSample(TDomainCollection& domains) {
    TDomainItem& org = AddZone(domains, ".org", "Organisations");
    AddServer(org, "zeta", "http://zeta.test/", "", 7);
    AddServer(org, "alpha", "", "http://alpha.test/online");
    TDomainItem& sub2 = AddZone(org.SubDomains, ".za.org", "first");
    AddServer(sub2, "deep");
    AddZone(org.SubDomains, ".ab.org", "second");
    AddZone(domains, ".biz", "");
    AddZone(domains, ".com", "Commercial");
}

QStringList Texts(const QTreeWidgetItem* parent) {
    QStringList texts;
    for (int i = 0; i < parent->childCount(); ++i)
        texts << parent->child(i)->text(0);
    return texts;
}

QTreeWidgetItem* FindNode(QTreeWidget* tree, const QString& text) {
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

} // namespace

class ShowServersTest : public QObject {
    Q_OBJECT

private slots:
    void treeOrderAndTexts() {
        TDomainCollection domains;
        FillSample(domains);
        FakeDesktop desktop;
        TdlgShowServers dialog(nullptr, domains, desktop);
        auto* tree = dialog.findChild<QTreeWidget*>("tvDomains");
        QVERIFY(tree);
        QCOMPARE(Texts(tree->invisibleRootItem()),
                 (QStringList{".biz - ", ".com - Commercial", ".org - Organisations"}));
        QTreeWidgetItem* org = tree->topLevelItem(2);
        QCOMPARE(Texts(org), (QStringList{".za.org - first", ".ab.org - second", "zeta", "alpha"}));
        QCOMPARE(Texts(org->child(0)), QStringList{"deep"});
        // The first node after sorting is selected at start.
        QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
    }

    // Beside a zone's port-43 servers, its RDAP service: the bootstrap's for a name zone
    // (a sub-zone takes its parent's, a Unicode suffix is looked up by its A-labels); the
    // number zones depend on the number; a server node shows its zone's.
    void rdapServiceOfTheZone() {
        TDomainCollection domains;
        TDomainItem& org = AddZone(domains, ".org", "");
        AddServer(org, "alpha");
        AddZone(org.SubDomains, ".co.org", "");
        AddZone(domains, ".рф", "");
        AddZone(domains, ".none", "");
        AddZone(domains, "ip", "");
        AddZone(domains, "ASN", "");
        RegistryBlocks blocks;
        const std::string dns = "{\"services\": [[[\"org\"], [\"http://rdap.org.test/\", "
                                "\"https://rdap.org.test/\"]], [[\"xn--p1ai\"], "
                                "[\"https://rdap.rf.test/\"]]]}";
        QCOMPARE(blocks.LoadDomains(dns), std::string());
        const QString https = "https://rdap.org.test/  http://rdap.org.test/";
        const QString byNumber =
            "Chosen for each number: the service of the registry that holds it";
        const struct {
            const char* node;
            QString shown;
        } cases[] = {
            {".org - ", https},
            {".co.org - ", https},
            {"alpha", https},
            {".рф - ", "https://rdap.rf.test/"},
            {".none - ", "None is known for this zone"},
            {"ip - ", byNumber},
            {"ASN - ", byNumber},
        };
        FakeDesktop desktop;
        TdlgShowServers dialog(nullptr, domains, desktop, &blocks);
        auto* tree = dialog.findChild<QTreeWidget*>("tvDomains");
        for (const auto& c : cases) {
            tree->setCurrentItem(FindNode(tree, QString::fromUtf8(c.node)));
            QCOMPARE(dialog.findChild<QLineEdit*>("edRdap")->text(), c.shown);
        }
        // Without the tables, a name zone shows nothing rather than a wrong "none".
        TdlgShowServers bare(nullptr, domains, desktop);
        auto* bareTree = bare.findChild<QTreeWidget*>("tvDomains");
        bareTree->setCurrentItem(FindNode(bareTree, ".org - "));
        QCOMPARE(bare.findChild<QLineEdit*>("edRdap")->text(), QString());
    }

    void topLevelFollowsLocaleAwareOrder() {
        TDomainCollection domains;
        for (const char* suffix : {".com", ".Com", ".b", ".a", ".рф", ".COM", ".a-b", ".ab", ".Ab"})
            AddZone(domains, suffix, "x");
        FakeDesktop desktop;
        TdlgShowServers dialog(nullptr, domains, desktop);
        const QStringList texts =
            Texts(dialog.findChild<QTreeWidget*>("tvDomains")->invisibleRootItem());
        QCOMPARE(texts.size(), domains.Count());
        for (qsizetype i = 1; i < texts.size(); ++i)
            QVERIFY2(QString::localeAwareCompare(texts[i - 1], texts[i]) <= 0,
                     qPrintable(texts[i - 1] + " / " + texts[i]));
    }

    void detailRules() {
        TDomainCollection domains;
        FillSample(domains);
        FakeDesktop desktop;
        TdlgShowServers dialog(nullptr, domains, desktop);
        auto* tree = dialog.findChild<QTreeWidget*>("tvDomains");
        auto* panel = dialog.findChild<QWidget*>("pnlServer");
        const auto text = [&](const char* name) {
            return dialog.findChild<QLineEdit*>(name)->text();
        };
        QVERIFY(panel->isHidden()); // a zone is selected at start
        QCOMPARE(text("edSuffix"), QString(".biz"));
        QCOMPARE(text("edDomainDescription"), QString());

        struct Case {
            const char* node;
            bool panelShown;
            const char* suffix;
            const char* serverName; // server fields, kept from the last server shown
            const char* web;
            const char* online;
            const char* rating;
        };
        const Case cases[] = {
            {"zeta", true, ".org", "zeta", "http://zeta.test/", "", "7"},
            {"deep", true, ".za.org", "deep", "", "", "0"},
            {".com - Commercial", false, ".com", "deep", "", "", "0"},
            {"alpha", true, ".org", "alpha", "", "http://alpha.test/online", "0"},
        };
        for (const Case& c : cases) {
            tree->setCurrentItem(FindNode(tree, c.node));
            QCOMPARE(!panel->isHidden(), c.panelShown);
            QCOMPARE(text("edSuffix"), QString(c.suffix));
            QCOMPARE(text("edServerNAme"), QString(c.serverName));
            QCOMPARE(text("edAddress"), QString("whois.") + c.serverName);
            QCOMPARE(text("edWWWAddress"), QString(c.web));
            QCOMPARE(text("edOnLine"), QString(c.online));
            QCOMPARE(text("edRating"), QString(c.rating));
            QCOMPARE(dialog.findChild<QPlainTextEdit*>("edDescription")->toPlainText(),
                     QString("about ") + c.serverName);
        }
        QCOMPARE(text("edDomainDescription"), QString("Organisations"));
    }

    void emptyList() {
        TDomainCollection domains;
        FakeDesktop desktop;
        TdlgShowServers dialog(nullptr, domains, desktop);
        auto* tree = dialog.findChild<QTreeWidget*>("tvDomains");
        QCOMPARE(tree->topLevelItemCount(), 0);
        QVERIFY(!tree->currentItem());
        QVERIFY(!dialog.findChild<QWidget*>("pnlServer")->isHidden());
        for (const char* name : {"edSuffix", "edDomainDescription", "edServerNAme", "edRating"})
            QVERIFY(dialog.findChild<QLineEdit*>(name)->text().isEmpty());
    }

    void linksOpenOnlyWhenFilled() {
        TDomainCollection domains;
        FillSample(domains);
        FakeDesktop desktop;
        const QStringList& opened = desktop.opened;
        TdlgShowServers dialog(nullptr, domains, desktop);
        dialog.show();
        auto* tree = dialog.findChild<QTreeWidget*>("tvDomains");
        auto* web = dialog.findChild<QLineEdit*>("edWWWAddress");
        auto* online = dialog.findChild<QLineEdit*>("edOnLine");
        tree->setCurrentItem(FindNode(tree, "zeta"));
        QTest::mouseClick(online, Qt::LeftButton); // empty: nothing
        QTest::mouseClick(web, Qt::LeftButton);
        tree->setCurrentItem(FindNode(tree, "alpha"));
        QTest::mouseClick(web, Qt::LeftButton); // empty: nothing
        QTest::mouseClick(online, Qt::LeftButton);
        QCOMPARE(opened, (QStringList{"http://zeta.test/", "http://alpha.test/online"}));
    }

    void expandAndCollapseAll() {
        TDomainCollection domains;
        FillSample(domains);
        FakeDesktop desktop;
        TdlgShowServers dialog(nullptr, domains, desktop);
        auto* tree = dialog.findChild<QTreeWidget*>("tvDomains");
        QTreeWidgetItem* org = FindNode(tree, ".org - Organisations");
        QTreeWidgetItem* sub = FindNode(tree, ".za.org - first");
        QTest::mouseClick(dialog.findChild<QPushButton*>("btnExpandAll"), Qt::LeftButton);
        QVERIFY(org->isExpanded() && sub->isExpanded());
        QTest::mouseClick(dialog.findChild<QPushButton*>("btnCollapseAll"), Qt::LeftButton);
        QVERIFY(!org->isExpanded() && !sub->isExpanded());
        // The tree's pop-up menu carries the same two actions.
        auto* menu = dialog.findChild<QMenu*>("pmTLD");
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 2);
        menu->actions().at(1)->trigger();
        QVERIFY(sub->isExpanded());
    }

    // A name cut short by the tree's width shows whole in a tool tip; one that fits has none.
    void longNamesShowInAToolTip() {
        TDomainCollection domains;
        AddZone(domains, ".a", "Short");
        AddZone(domains, ".b", "A description far too long for the zone tree to show it whole");
        FakeDesktop desktop;
        TdlgShowServers dialog(nullptr, domains, desktop);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* tree = dialog.findChild<QTreeWidget*>("tvDomains");
        for (int row = 0; row < 2; ++row) {
            QTreeWidgetItem* node = tree->topLevelItem(row);
            const QPoint at = tree->visualItemRect(node).center();
            QHelpEvent help(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
            QApplication::sendEvent(tree->viewport(), &help);
            if (row == 1)
                QTRY_COMPARE(QToolTip::text(), node->text(0));
            else
                QTRY_VERIFY(!QToolTip::isVisible());
        }
    }

    // The box keeps its designed width in either language; nothing in it overlaps or is
    // cut, and the links are in view.
    void aboutBoxFits_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("designed") << "";
        QTest::newRow("russian") << "russian.lng";
    }
    void aboutBoxFits() {
        QFETCH(QString, language);
        TempDir dir;
        FakeDesktop desktop;
        TAboutBox box(nullptr, desktop);
        if (!language.isEmpty()) {
            TLangChanger changer;
            changer.SetLangFile(
                dir.Write("lang.lng", ReadFile(fs::path(TESSERON_SOURCE_DIR) / "data/languages" /
                                               language.toStdString()))
                    .string());
            QtTranslationTarget form(&box);
            changer.TranslateForm(form);
        }
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QCOMPARE(box.width(), 380);
        QList<QWidget*> parts;
        for (const char* name : {"Label1", "Label4", "lHome", "Label5", "lMail", "Button1"})
            parts << box.findChild<QWidget*>(name);
        for (QWidget* part : parts) {
            QVERIFY2(box.rect().contains(part->geometry()), qPrintable(part->objectName()));
            if (const auto* label = qobject_cast<QLabel*>(part))
                QVERIFY2(label->wordWrap()
                             ? label->height() >= label->heightForWidth(label->width())
                             : label->width() >= label->sizeHint().width(),
                         qPrintable(part->objectName()));
            for (QWidget* other : parts)
                QVERIFY2(other == part || !other->geometry().intersects(part->geometry()),
                         qPrintable(part->objectName() + " " + other->objectName()));
        }
    }

    void aboutBox() {
        FakeDesktop desktop;
        const QStringList &opened = desktop.opened, &mailed = desktop.mailedTo;
        TAboutBox box(nullptr, desktop);
        box.show();
        QCOMPARE(box.findChild<QLabel*>("Label1")->text(),
                 QString::fromStdString(GetVersionString(true)));
        QCOMPARE(box.findChild<QLabel*>("lHome")->text(), QString("tesseron-whois.org"));
        QTest::mouseClick(box.findChild<QLabel*>("lHome"), Qt::LeftButton);
        QTest::mouseClick(box.findChild<QLabel*>("lMail"), Qt::LeftButton);
        QCOMPARE(opened, QStringList{QString(version::kMakerUrl)});
        QCOMPARE(mailed, QStringList{"support@tesseron-whois.org"});
        QTest::mouseClick(box.findChild<QPushButton*>("Button1"), Qt::LeftButton);
        QCOMPARE(box.result(), int(QDialog::Accepted));
        QVERIFY(!box.isVisible());
    }
};

} // namespace tesseron::test

QTEST_MAIN(tesseron::test::ShowServersTest)
#include "test_show_servers.moc"
