#include "locale/LangChanger.h"
#include "locale/QtTranslationTarget.h"
#include "support/TempDir.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

namespace tesseron::test {

// A dialog laid out as a designed form would be: components at various depths.
class TdlgSample : public QDialog {
    Q_OBJECT
public:
    explicit TdlgSample(QWidget* parent = nullptr) : QDialog(parent) {
        lblHost = Make<QLabel>(this, "lblHost");
        btnClose = Make<QPushButton>(this, "btnClose");
        mnFile = Make<QMenu>(this, "mnFile");
        actQuery = Make<QAction>(mnFile, "actQuery");
        mnFile->addAction(actQuery);
        grpProxy = Make<QGroupBox>(this, "grpProxy");
        cmbProxyVersion = Make<QComboBox>(grpProxy, "cmbProxyVersion");
        pgTabs = Make<QTabWidget>(this, "pgTabs");
        pgTabs->addTab(Make<QWidget>(pgTabs, "tsGeneral"), "General");
        pgTabs->addTab(Make<QWidget>(pgTabs, "tsProxy"), "Proxy");
        lstServers = Make<QListWidget>(pgTabs->widget(0), "lstServers");
        memLog = Make<QPlainTextEdit>(this, "memLog");
        edtHost = Make<QLineEdit>(this, "edtHost");
        setProperty("Note", QString());
        setProperty("Ratio", 1.0);
    }

    QLabel* lblHost;
    QPushButton* btnClose;
    QMenu* mnFile;
    QAction* actQuery;
    QGroupBox* grpProxy;
    QComboBox* cmbProxyVersion;
    QTabWidget* pgTabs;
    QListWidget* lstServers;
    QPlainTextEdit* memLog;
    QLineEdit* edtHost;

private:
    // Qt parent ownership: the dialog deletes its children.
    template <typename T, typename Parent> static T* Make(Parent* parent, const char* name) {
        T* object = new T(parent);
        object->setObjectName(name);
        return object;
    }
};

class QtTranslationTest : public QObject {
    Q_OBJECT

    // The form itself for an empty name, else its component.
    static std::unique_ptr<TranslationTarget> Target(QtTranslationTarget& form,
                                                     const QString& name) {
        if (name.isEmpty()) return std::make_unique<QtTranslationTarget>(form.object());
        return form.FindComponent(name.toStdString());
    }
    static QString Read(QObject* object, const QString& what) {
        if (what == "tab") {
            auto* page = qobject_cast<QWidget*>(object);
            auto* tabs = qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget());
            return tabs->tabText(tabs->indexOf(page));
        }
        return object->property(what.toLatin1()).toString();
    }
    // The Qt object behind a component found by the adapter, checked to be the one named.
    static QObject* Named(TranslationTarget& target, const QString& name) {
        QObject* object = static_cast<QtTranslationTarget&>(target).object();
        if (!name.isEmpty()) {
            const bool same = object->objectName().compare(name, Qt::CaseInsensitive) == 0;
            return same ? object : nullptr;
        }
        return object;
    }

    template <typename... Values> static void Row(const char* tag, const Values&... values) {
        (QTest::newRow(tag) << ... << values);
    }

private slots:
    void textProperties_data() {
        QTest::addColumn<QString>("component");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("readBack");
        Row("form caption", "", "Caption", "windowTitle");
        Row("label", "lblHost", "Caption", "text");
        Row("button, any case", "BTNCLOSE", "caption", "text");
        Row("action in menu", "actquery", "CAPTION", "text");
        Row("menu", "mnFile", "Caption", "title");
        Row("group box", "grpProxy", "Caption", "title");
        Row("tab page", "tsProxy", "Caption", "tab");
        Row("line edit", "edtHost", "Text", "text");
        Row("plain text edit", "memLog", "text", "plainText");
        Row("Qt property", "edtHost", "PLACEHOLDERTEXT", "placeholderText");
        Row("dynamic property", "", "note", "Note");
    }
    void textProperties() {
        QFETCH(QString, component);
        QFETCH(QString, property);
        QFETCH(QString, readBack);
        TdlgSample dialog;
        QtTranslationTarget form(&dialog);
        auto target = Target(form, component);
        QVERIFY(target);
        const std::string name = property.toStdString();
        QCOMPARE(target->KindOf(name), PropertyKind::Text);
        target->SetText(name, "Ligne un\r\nzwei – три");
        QObject* object = Named(*target, component);
        QVERIFY(object);
        QCOMPARE(Read(object, readBack), QString("Ligne un\nzwei – три"));
    }

    void hints_data() {
        QTest::addColumn<QString>("component");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("status");
        Row("one text for both", "btnClose", "Close", "Close", "Close");
        Row("short|long", "actQuery", "Query|Ask the server", "Query", "Ask the server");
    }
    void hints() {
        QFETCH(QString, component);
        QFETCH(QString, value);
        TdlgSample dialog;
        QtTranslationTarget form(&dialog);
        auto target = form.FindComponent(component.toStdString());
        target->SetText("HINT", value.toStdString());
        QObject* object = Named(*target, component);
        QTEST(object->property("toolTip").toString(), "tip");
        QTEST(object->property("statusTip").toString(), "status");
    }

    void kinds_data() {
        QTest::addColumn<QString>("component");
        QTest::addColumn<QString>("property");
        QTest::addColumn<PropertyKind>("kind");
        Row("font", "", "Font", PropertyKind::Object);
        Row("double", "", "windowOpacity", PropertyKind::Float);
        Row("int", "edtHost", "MaxLength", PropertyKind::Integer);
        Row("combo items", "cmbProxyVersion", "Items", PropertyKind::StringList);
        Row("list items", "lstServers", "items", PropertyKind::StringList);
        Row("lines", "memLog", "Lines", PropertyKind::StringList);
        Row("items of a label", "lblHost", "Items", PropertyKind::None);
        Row("caption of an edit", "edtHost", "Caption", PropertyKind::None);
        Row("enumeration", "lblHost", "alignment", PropertyKind::None);
        Row("read-only", "edtHost", "displayText", PropertyKind::None);
        Row("unknown", "", "Nothing", PropertyKind::None);
    }
    void kinds() {
        QFETCH(QString, component);
        QFETCH(QString, property);
        TdlgSample dialog;
        QtTranslationTarget form(&dialog);
        QTEST(Target(form, component)->KindOf(property.toStdString()), "kind");
    }

    void numbers() {
        TdlgSample dialog;
        QtTranslationTarget form(&dialog);
        auto edit = form.FindComponent("EDTHOST");
        edit->SetInteger("maxlength", 12);
        QCOMPARE(dialog.edtHost->maxLength(), 12);
        edit->SetInteger("MaxLength", int64_t{1} << 40); // does not fit an int: unchanged
        QCOMPARE(dialog.edtHost->maxLength(), 12);
        form.SetFloat("ratio", 2.5);
        QCOMPARE(dialog.property("Ratio").toDouble(), 2.5);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, edit->SetText("MaxLength", "7"));
    }

    void lists() {
        TdlgSample dialog;
        QtTranslationTarget form(&dialog);
        dialog.cmbProxyVersion->addItems({"a", "b", "c"});
        dialog.cmbProxyVersion->setCurrentIndex(2);
        auto combo = form.FindComponent("cmbProxyVersion");
        combo->SetStringList("Items", {"Socks 4", "Socks 4A", "Socks 5", ""});
        QCOMPARE(dialog.cmbProxyVersion->count(), 4);
        QCOMPARE(dialog.cmbProxyVersion->currentText(), QString("Socks 5"));
        combo->SetStringList("Items", {"only"}); // index 2 is gone
        QCOMPARE(dialog.cmbProxyVersion->currentText(), QString("only"));

        dialog.lstServers->addItems({"x", "y"});
        dialog.lstServers->setCurrentRow(1);
        form.FindComponent("lstServers")->SetStringList("ITEMS", {"whois.one", "whois.two"});
        QCOMPARE(dialog.lstServers->currentItem()->text(), QString("whois.two"));

        form.FindComponent("memLog")->SetStringList("lines", {"one", "two"});
        QCOMPARE(dialog.memLog->toPlainText(), QString("one\ntwo"));

        QVERIFY_THROWS_EXCEPTION(std::runtime_error, form.SetStringList("Font", {"Arial"}));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 form.FindComponent("lblHost")->SetStringList("Caption", {"a"}));
    }

    void componentsAndClass() {
        TdlgSample dialog;
        TdlgSample child(&dialog); // another form parented to this one: not its component
        child.setObjectName("lblInner");
        QtTranslationTarget form(&dialog);
        QCOMPARE(form.ClassName(), std::string("TdlgSample")); // namespaces dropped
        auto found = form.FindComponent("LSTSERVERS");
        QVERIFY(found);
        QCOMPARE(static_cast<QtTranslationTarget&>(*found).object(), dialog.lstServers);
        QVERIFY(!form.FindComponent("lblInner"));
        QVERIFY(!form.FindComponent("nothing"));
        QVERIFY(!form.FindComponent(""));
        QVERIFY(!form.SubObject("Caption"));
        dialog.setProperty("translationClass", "TdlgOptions");
        QCOMPARE(form.ClassName(), std::string("TdlgOptions"));
    }

    void font() {
        TdlgSample dialog;
        QtTranslationTarget form(&dialog);
        auto font = form.SubObject("FONT");
        QVERIFY(font);
        QCOMPARE(font->KindOf("Style"), PropertyKind::None);
        font->SetText("name", "Tesseron Sans");
        font->SetInteger("SIZE", 15);
        font->SetInteger("Size", 0); // Qt takes positive sizes only: unchanged
        QCOMPARE(dialog.font().family(), QString("Tesseron Sans"));
        QCOMPARE(dialog.font().pointSize(), 15);
        QCOMPARE(dialog.lblHost->font().pointSize(), 15); // inherited, as designed forms do
    }

    void openForms() {
        TdlgSample shown, hidden;
        shown.show();
        QMenu popup;
        const QList<QWidget*> forms = OpenForms();
        QVERIFY(forms.contains(&shown) && forms.contains(&hidden));
        QVERIFY(!forms.contains(&popup));
    }

    void translatesFormFromLanguageFile() {
        TempDir dir;
        const auto file = dir.Write("test.lng", "[Translations]\r\n"
                                                "dlgSample.Caption=Beispiel\r\n"
                                                "DLGSAMPLE.lblhost.CAPTION=eins{ENTER}zwei\r\n"
                                                "dlgSample.cmbProxyVersion.Items=Socks 4, "
                                                "Socks 4.0A, Socks 5,\r\n"
                                                "dlgSample.tsProxy.Caption=Vermittler\r\n"
                                                "dlgSample.Font.Size=15\r\n"
                                                "TesseronForm.btnClose.Caption=not ours\r\n"
                                                "btnClose=message key\r\n");
        TLangChanger changer;
        changer.SetLangFile(file.string());
        TdlgSample dialog;
        QtTranslationTarget form(&dialog);
        changer.TranslateForm(form);
        QCOMPARE(dialog.windowTitle(), QString("Beispiel"));
        QCOMPARE(dialog.lblHost->text(), QString("eins\nzwei"));
        QCOMPARE(dialog.cmbProxyVersion->count(), 3);
        QCOMPARE(dialog.cmbProxyVersion->itemText(1), QString("Socks 4.0A"));
        QCOMPARE(dialog.pgTabs->tabText(1), QString("Vermittler"));
        QCOMPARE(dialog.font().pointSize(), 15);
        QCOMPARE(dialog.btnClose->text(), QString());
    }

    void translatesEveryOpenFormOfTheClass() {
        TempDir dir;
        const auto file = dir.Write("test.lng", "[Translations]\r\ndlgSample.Caption=Beide\r\n");
        TLangChanger changer(OpenFormTargets);
        changer.SetLangFile(file.string());
        TdlgSample first, second, other;
        second.show();
        other.setProperty("translationClass", "TdlgOther");
        changer.TranslateForm();
        QCOMPARE(first.windowTitle(), QString("Beide"));
        QCOMPARE(second.windowTitle(), QString("Beide"));
        QCOMPARE(other.windowTitle(), QString());
    }

    // Qt's own texts: "Qt.<context>.<text>" keys, matched without regard to case and with
    // {ENTER} for a line break; whatever the file does not name stays as Qt has it.
    void qtTextsFromTheLanguageFile_data() {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected");
        Row("named", "QPlatformTheme", "&Yes", QString::fromUtf8("&Да"));
        Row("other letter case", "QFileDialog", "Look in:", QString::fromUtf8("Папка:"));
        Row("line break", "QFileDialog", "%1 exists.\nReplace?", "%1 existe.\nRemplacer ?");
        Row("first of two keys", "QPlatformTheme", "&No", "Nein");
        Row("not named", "QPlatformTheme", "Cancel", "Cancel");
        Row("form key is no Qt text", "dlgSample", "Caption", "Caption");
    }
    void qtTextsFromTheLanguageFile() {
        QFETCH(QString, context);
        QFETCH(QString, source);
        TempDir dir;
        const auto file = dir.Write(
            "test.lng", "[Translations]\r\nQt.QPlatformTheme.&Yes=&Да\r\n"
                        "qt.qfiledialog.LOOK IN:=Папка:\r\n"
                        "Qt.QFileDialog.%1 exists.{ENTER}Replace?=%1 existe.{ENTER}Remplacer ?\r\n"
                        "Qt.QPlatformTheme.&No=Nein\r\nQt.QPlatformTheme.&no=Non\r\n"
                        "dlgSample.Caption=Beispiel\r\n");
        TLangChanger changer;
        changer.SetLangFile(file.string());
        LanguageFileTranslator translator;
        translator.Load(changer);
        QVERIFY(QCoreApplication::installTranslator(&translator));
        const QByteArray c = context.toUtf8(), t = source.toUtf8();
        QTEST(QCoreApplication::translate(c.constData(), t.constData()), "expected");
        // Without a file every text is Qt's again.
        QCoreApplication::removeTranslator(&translator);
        changer.SetLangFile("");
        translator.Load(changer);
        QVERIFY(translator.isEmpty());
    }
};

} // namespace tesseron::test

QTEST_MAIN(tesseron::test::QtTranslationTest)
#include "test_qt_translation.moc"
