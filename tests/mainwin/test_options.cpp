// The options dialog driven through its real controls, offscreen.

#include "locale/LangChanger.h"
#include "locale/QtTranslationTarget.h"
#include "mainwin/Settings.h"
#include "mainwin/uDlgOptions.h"
#include "support/FakeDesktop.h"
#include "support/SampleSettings.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QtTest>

#include <memory>
#include <tuple>

namespace tesseron::test {
namespace {

// Every field the dialog may touch, for comparing whole records.
auto Fields(const TSettings& s) {
    return std::tuple(s.HistoryLines, s.whoisTimeout, s.PropWNDQuery, s.UpdateIfExists,
                      s.bSmartFilterURL, s.DetermineIpAddress, s.DetermineReverseName, s.TextColor,
                      s.BackgroundColor, s.FontName, s.FontSize, s.FontStyle, s.MaxWhoisResults,
                      s.proxyUserName, s.proxyPassword, s.proxyAuthentication, s.proxyHost,
                      s.proxyPort, s.proxyVersion, s.StartWithWindows, s.IntegrateToIE);
}

struct Calls {
    FakeDesktop desktop;
    std::vector<bool>& autostart = desktop.autostartSwitches;
    std::vector<bool>& browser = desktop.browserButtonSwitches;
};

// A shown dialog over `settings` whose registrations are recorded in `calls`.
std::unique_ptr<TdlgOptions> Open(TSettings& settings, Calls& calls) {
    auto dialog = std::make_unique<TdlgOptions>(nullptr, settings, calls.desktop);
    dialog->show();
    return dialog;
}

template <typename T> T* Get(QWidget* dialog, const char* name) {
    auto* widget = dialog->findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("control %s is missing", name);
    return widget;
}

void ClickOk(QWidget* dialog) {
    QTest::mouseClick(Get<QPushButton>(dialog, "OKBtn"), Qt::LeftButton);
}

// Replaces an edit's text the way a user does: select everything, then type.
void TypeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

} // namespace

class OptionsTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void okWithoutChangesKeepsEveryValue() {
        TSettings settings = SampleSettings();
        const auto before = Fields(settings);
        Calls calls;
        auto dialog = Open(settings, calls);
        ClickOk(dialog.get());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(Fields(settings) == before);
        QVERIFY(calls.autostart.empty() && calls.browser.empty());
    }

    void eachControlStoresItsOwnField() {
        // A control wired to another field shows the wrong value or changes the wrong field.
        const struct {
            const char* name;
            bool TSettings::*field;
        } boxes[] = {
            {"cbUpdateIfExists", &TSettings::UpdateIfExists},
            {"cbDetermineIpAddress", &TSettings::DetermineIpAddress},
            {"cbReverseName", &TSettings::DetermineReverseName},
            {"cbSmartFilterURL", &TSettings::bSmartFilterURL},
        };
        for (const auto& b : boxes) {
            TSettings settings = SampleSettings();
            TSettings expected = settings;
            expected.*b.field = !(settings.*b.field);
            Calls calls;
            auto dialog = Open(settings, calls);
            auto* box = Get<QCheckBox>(dialog.get(), b.name);
            QVERIFY2(box->isChecked() == settings.*b.field, b.name);
            box->setChecked(!box->isChecked());
            ClickOk(dialog.get());
            QVERIFY2(settings == expected, b.name);
        }
        const struct {
            const char* name;
            int32_t TSettings::*field;
            int value;
        } upDowns[] = {
            {"udwhoisTimeout", &TSettings::whoisTimeout, 900},
            {"udHistoryLines", &TSettings::HistoryLines, 3},
            {"udMaxWhoisResults", &TSettings::MaxWhoisResults, 5},
        };
        for (const auto& u : upDowns) {
            TSettings settings = SampleSettings();
            TSettings expected = settings;
            expected.*u.field = u.value;
            Calls calls;
            auto dialog = Open(settings, calls);
            auto* upDown = Get<QSpinBox>(dialog.get(), u.name);
            QVERIFY2(upDown->value() == settings.*u.field, u.name);
            upDown->setValue(u.value);
            ClickOk(dialog.get());
            QVERIFY2(settings == expected, u.name);
        }
    }

    void cancelLeavesEverything_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel button") << "cancel";
        QTest::newRow("Esc") << "escape";
        QTest::newRow("close box") << "close";
    }
    void cancelLeavesEverything() {
        QFETCH(QString, how);
        TSettings settings = SampleSettings();
        const auto before = Fields(settings);
        Calls calls;
        auto dialog = Open(settings, calls);
        Get<QSpinBox>(dialog.get(), "udwhoisTimeout")->setValue(100);
        Get<QCheckBox>(dialog.get(), "cbUseProxy")->setChecked(false);
        Get<QRadioButton>(dialog.get(), "rbWindowQueryNoClose")->setChecked(true);
        Get<QCheckBox>(dialog.get(), "cbStartWithWindows")->setChecked(true);
        Get<QCheckBox>(dialog.get(), "cbIntegrateToIE")->setChecked(true);
        if (how == "cancel")
            QTest::mouseClick(Get<QPushButton>(dialog.get(), "CancelBtn"), Qt::LeftButton);
        else if (how == "escape")
            QTest::keyClick(dialog.get(), Qt::Key_Escape);
        else
            dialog->close();
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QVERIFY(!dialog->isVisible());
        QVERIFY(Fields(settings) == before);
        QVERIFY(calls.autostart.empty() && calls.browser.empty());
    }

    // The protocol choice shows the setting, stores the choice only on OK, and keeps its
    // place when a language file replaces the choices' texts.
    void rdapModeChoice_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("shownText");
        QTest::addColumn<int>("chosen"); // -1: left as shown
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("saved");
        QTest::newRow("port 43 only, to RDAP first")
            << 0 << "english.lng" << 0 << "Port 43 only" << 2 << true << 2;
        QTest::newRow("the default, to port 43 only")
            << 1 << "russian.lng" << 1 << QString::fromUtf8("Порт 43 затем RDAP") << 0 << true << 0;
        QTest::newRow("RDAP first, cancelled")
            << 2 << "english.lng" << 2 << "RDAP then port 43" << 0 << false << 2;
        QTest::newRow("out of range: the default, stored")
            << 9 << "" << 1 << QString::fromUtf8("Порт 43, затем RDAP") << -1 << true << 1;
    }
    void rdapModeChoice() {
        QFETCH(int, stored);
        QFETCH(QString, language);
        QFETCH(int, shown);
        QFETCH(QString, shownText);
        QFETCH(int, chosen);
        QFETCH(bool, ok);
        QFETCH(int, saved);
        TSettings settings = SampleSettings();
        settings.RdapMode = stored;
        TSettings expected = settings;
        expected.RdapMode = saved;
        FakeDesktop desktop;
        TdlgOptions dialog(nullptr, settings, desktop);
        if (!language.isEmpty()) {
            TempDir dir;
            TLangChanger changer;
            changer.SetLangFile(
                dir.Write("lang.lng",
                          ReadFile(TESSERON_SOURCE_DIR "/data/languages/" + language.toStdString()))
                    .string());
            QtTranslationTarget form(&dialog);
            changer.TranslateForm(form);
        }
        dialog.show();
        auto* choice = Get<QComboBox>(&dialog, "cmbRdapMode");
        QCOMPARE(choice->count(), 3);
        QCOMPARE(choice->currentIndex(), shown);
        QCOMPARE(choice->currentText(), shownText);
        if (chosen >= 0) choice->setCurrentIndex(chosen);
        if (ok)
            ClickOk(&dialog);
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(settings.RdapMode, expected.RdapMode);
        QVERIFY(settings == expected);
    }

    void proxyOffDisablesAndKeepsHostAndPort() {
        TSettings settings = SampleSettings();
        settings.proxyVersion = 0;
        Calls calls;
        auto dialog = Open(settings, calls);
        auto* useProxy = Get<QCheckBox>(dialog.get(), "cbUseProxy");
        auto* host = Get<QLineEdit>(dialog.get(), "edProxyHost");
        QVERIFY(!useProxy->isChecked());
        QCOMPARE(Get<QComboBox>(dialog.get(), "cmbProxyVersion")->currentText(), "Socks 5");
        for (const char* name : {"edProxyHost", "edProxyPort", "cbProxyAuthentication",
                                 "cmbProxyVersion", "edProxyUser", "edProxyPassword"})
            QVERIFY2(!Get<QWidget>(dialog.get(), name)->isEnabled(), name);
        // Stored authentication is dropped because the proxy is off.
        QVERIFY(!Get<QCheckBox>(dialog.get(), "cbProxyAuthentication")->isChecked());

        useProxy->click();
        QVERIFY(host->isEnabled());
        TypeInto(host, "other.test");
        TypeInto(Get<QLineEdit>(dialog.get(), "edProxyPort"), "9");
        useProxy->click();
        ClickOk(dialog.get());
        QCOMPARE(settings.proxyVersion, 0);
        QCOMPARE(settings.proxyHost, std::string("proxy.test"));
        QCOMPARE(settings.proxyPort, 3128);
        QCOMPARE(settings.proxyAuthentication, 0);
    }

    void uncheckingProxyDropsAuthentication() {
        TSettings settings = SampleSettings();
        Calls calls;
        auto dialog = Open(settings, calls);
        auto* auth = Get<QCheckBox>(dialog.get(), "cbProxyAuthentication");
        auto* user = Get<QLineEdit>(dialog.get(), "edProxyUser");
        QVERIFY(auth->isChecked() && auth->isEnabled() && user->isEnabled());
        QCOMPARE(Get<QLineEdit>(dialog.get(), "edProxyPassword")->displayText(), "******");
        TypeInto(user, "someone");
        Get<QCheckBox>(dialog.get(), "cbUseProxy")->click();
        QVERIFY(!auth->isChecked());
        QVERIFY(!user->isEnabled());
        ClickOk(dialog.get());
        QCOMPARE(settings.proxyAuthentication, 0);
        QCOMPARE(settings.proxyUserName, std::string("user"));
    }

    void proxyFieldsStored_data() {
        QTest::addColumn<int>("versionIndex");
        QTest::addColumn<QString>("portText");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("port");
        QTest::newRow("8080") << 2 << "8080" << 3 << 8080;
        QTest::newRow("letters after digits") << 0 << "80a" << 1 << 1080;
        QTest::newRow("empty") << 1 << "" << 2 << 1080;
        QTest::newRow("too large") << 2 << "99999999999" << 3 << 1080;
        QTest::newRow("hexadecimal is not decimal") << 2 << "0x50" << 3 << 1080;
    }
    void proxyFieldsStored() {
        QFETCH(int, versionIndex);
        QFETCH(QString, portText);
        TSettings settings = SampleSettings();
        Calls calls;
        auto dialog = Open(settings, calls);
        Get<QComboBox>(dialog.get(), "cmbProxyVersion")->setCurrentIndex(versionIndex);
        TypeInto(Get<QLineEdit>(dialog.get(), "edProxyHost"), "h.test");
        TypeInto(Get<QLineEdit>(dialog.get(), "edProxyPort"), portText);
        TypeInto(Get<QLineEdit>(dialog.get(), "edProxyPassword"), "pw2");
        ClickOk(dialog.get());
        QTEST(settings.proxyVersion, "version");
        QTEST(settings.proxyPort, "port");
        QCOMPARE(settings.proxyHost, std::string("h.test"));
        QCOMPARE(settings.proxyPassword, std::string("pw2"));
        QCOMPARE(settings.proxyAuthentication, 1);
    }

    // A number out of range is taken as typed and becomes the nearest bound, shown in the
    // edit, whether OK is clicked or Enter pressed in the edit; letters are refused.
    void upDownTakesTheNearestBound_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enter");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("HistoryLines");
        QTest::addColumn<int>("whoisTimeout");
        QTest::addColumn<int>("MaxWhoisResults");
        QTest::newRow("time-out above range") << "edwhoisTimeout"
                                              << "30000" << false << "20,000" << 12 << 20000 << 777;
        QTest::newRow("time-out above range, Enter")
            << "edwhoisTimeout"
            << "30000" << true << "20,000" << 12 << 20000 << 777;
        QTest::newRow("time-out in range") << "edwhoisTimeout"
                                           << "20000" << false << "20,000" << 12 << 20000 << 777;
        QTest::newRow("history above range") << "edHistoryLines"
                                             << "500" << true << "100" << 100 << 7300 << 777;
        QTest::newRow("history zero") << "edHistoryLines"
                                      << "0" << false << "1" << 1 << 7300 << 777;
        QTest::newRow("results not a number") << "edMaxWhoisResults"
                                              << "abc" << false << "777" << 12 << 7300 << 777;
        QTest::newRow("results at the top") << "edMaxWhoisResults"
                                            << "1000" << false << "1,000" << 12 << 7300 << 1000;
    }
    void upDownTakesTheNearestBound() {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(bool, enter);
        TSettings settings = SampleSettings();
        Calls calls;
        auto dialog = Open(settings, calls);
        auto* field = Get<QLineEdit>(dialog.get(), edit.toLatin1().constData());
        TypeInto(field, typed);
        if (enter)
            QTest::keyClick(field, Qt::Key_Return);
        else
            ClickOk(dialog.get());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QTEST(field->text(), "shown");
        QTEST(settings.HistoryLines, "HistoryLines");
        QTEST(settings.whoisTimeout, "whoisTimeout");
        QTEST(settings.MaxWhoisResults, "MaxWhoisResults");
    }

    void upDownRangesAndSeparator() {
        TSettings settings = SampleSettings();
        Calls calls;
        auto dialog = Open(settings, calls);
        auto* timeout = Get<QSpinBox>(dialog.get(), "udwhoisTimeout");
        QCOMPARE(Get<QLineEdit>(dialog.get(), "edwhoisTimeout")->text(), "7,300");
        timeout->stepUp();
        QCOMPARE(timeout->value(), 7400);
        timeout->setValue(20000);
        timeout->stepUp();
        QCOMPARE(timeout->value(), 20000);
        auto* history = Get<QSpinBox>(dialog.get(), "udHistoryLines");
        history->setValue(1);
        history->stepDown();
        QCOMPARE(history->value(), 1);
    }

    void progressWindowRadios_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("checked"); // empty: none
        QTest::newRow("0") << 0 << "rbWindowQueryCloseAfterSucces";
        QTest::newRow("2") << 2 << "rbWindowQueryNoClose";
        QTest::newRow("unknown 7 stays") << 7 << "";
    }
    void progressWindowRadios() {
        QFETCH(int, stored);
        QFETCH(QString, checked);
        TSettings settings;
        settings.PropWNDQuery = static_cast<uint8_t>(stored);
        Calls calls;
        auto dialog = Open(settings, calls);
        for (auto* radio : dialog->findChildren<QRadioButton*>())
            QCOMPARE(radio->isChecked(), radio->objectName() == checked);
        ClickOk(dialog.get());
        QCOMPARE(int(settings.PropWNDQuery), stored);
    }

    void onlyChangedRegistrationApplied_data() {
        QTest::addColumn<bool>("toggleAutostart");
        QTest::addColumn<bool>("toggleBrowser");
        QTest::newRow("autostart only") << true << false;
        QTest::newRow("browser only") << false << true;
        QTest::newRow("both") << true << true;
        QTest::newRow("neither") << false << false;
    }
    void onlyChangedRegistrationApplied() {
        QFETCH(bool, toggleAutostart);
        QFETCH(bool, toggleBrowser);
        TSettings settings;
        settings.StartWithWindows = false;
        settings.IntegrateToIE = true;
        Calls calls;
        auto dialog = Open(settings, calls);
        if (toggleAutostart) Get<QCheckBox>(dialog.get(), "cbStartWithWindows")->click();
        if (toggleBrowser) Get<QCheckBox>(dialog.get(), "cbIntegrateToIE")->click();
        ClickOk(dialog.get());
        QCOMPARE(calls.autostart, toggleAutostart ? std::vector<bool>{true} : std::vector<bool>{});
        QCOMPARE(calls.browser, toggleBrowser ? std::vector<bool>{false} : std::vector<bool>{});
        QCOMPARE(settings.StartWithWindows, toggleAutostart);
        QCOMPARE(settings.IntegrateToIE, !toggleBrowser);
    }

    void pageListDrivesPages() {
        TSettings settings;
        Calls calls;
        auto dialog = Open(settings, calls);
        auto* list = Get<QListWidget>(dialog.get(), "lvPages");
        auto* pages = Get<QStackedWidget>(dialog.get(), "pcOptions");
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->item(1)->text(), QString::fromUtf8("Прокси"));
        QCOMPARE(pages->currentWidget()->objectName(), "tsQuery");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(2)).center());
        QCOMPARE(pages->currentWidget()->objectName(), "tsInterface");

        // A control-click deselects the only selected row; the last page is then chosen.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list->visualItemRect(list->item(2)).center());
        QTRY_COMPARE(list->selectedItems().size(), 1);
        QCOMPARE(list->currentRow(), 3);
        QCOMPARE(pages->currentWidget()->objectName(), "tsIntegration");
    }

    // However often the empty space below the rows is clicked, from whatever page, the
    // last row is selected, current and focused, and its page shown.
    void clickBelowTheRowsChoosesTheLastPage_data() {
        QTest::addColumn<int>("startRow");
        QTest::newRow("from the first page") << 0;
        QTest::newRow("from the proxy page") << 1;
        QTest::newRow("from the last page") << 3;
    }
    void clickBelowTheRowsChoosesTheLastPage() {
        QFETCH(int, startRow);
        TSettings settings;
        Calls calls;
        auto dialog = Open(settings, calls);
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        auto* list = Get<QListWidget>(dialog.get(), "lvPages");
        auto* pages = Get<QStackedWidget>(dialog.get(), "pcOptions");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(startRow)).center());
        const QRect last = list->visualItemRect(list->item(3));
        const QPoint below(last.center().x(), last.bottom() + 20);
        QVERIFY(list->viewport()->rect().contains(below));
        for (int click = 0; click < 3; ++click) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below);
            QCOMPARE(list->selectedItems(), QList<QListWidgetItem*>{list->item(3)});
            QCOMPARE(list->currentRow(), 3);
            QVERIFY(list->hasFocus());
            QCOMPARE(pages->currentWidget()->objectName(), "tsIntegration");
        }
    }

    // In the designed language and in English: every text shown whole inside its page,
    // the proxy edits in one column, the buttons clear of the dialog's edge.
    void everythingFits_data() {
        QTest::addColumn<bool>("english");
        QTest::newRow("designed texts") << false;
        QTest::newRow("english file") << true;
    }
    void everythingFits() {
        QFETCH(bool, english);
        TempDir dir;
        TSettings settings;
        FakeDesktop desktop;
        TdlgOptions dialog(nullptr, settings, desktop);
        if (english) {
            TLangChanger changer;
            changer.SetLangFile(dir.Write("english.lng", ReadFile(TESSERON_SOURCE_DIR
                                                                  "/data/languages/english.lng"))
                                    .string());
            QtTranslationTarget form(&dialog);
            changer.TranslateForm(form);
        }
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* pages = Get<QStackedWidget>(&dialog, "pcOptions");
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QWidget* page = pages->currentWidget();
            for (QWidget* w : page->findChildren<QWidget*>()) {
                if (!w->isVisible() ||
                    !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)))
                    continue;
                const QRect inPage(w->mapTo(page, QPoint(0, 0)), w->size());
                QVERIFY2(page->rect().contains(inPage), qPrintable(w->objectName()));
                QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
            }
        }
        const auto left = [&](const char* name) {
            QWidget* w = Get<QWidget>(&dialog, name);
            return std::pair(w->mapTo(&dialog, QPoint(0, 0)).x(), w->width());
        };
        for (const char* name : {"edProxyPort", "edProxyUser", "edProxyPassword"})
            QCOMPARE(left(name), left("edProxyHost"));
        for (const char* name : {"OKBtn", "CancelBtn"}) {
            const QRect button(Get<QWidget>(&dialog, name)->mapTo(&dialog, QPoint(0, 0)),
                               Get<QWidget>(&dialog, name)->size());
            QVERIFY2(dialog.rect().right() - button.right() >= 6, name);
            QVERIFY2(dialog.rect().bottom() - button.bottom() >= 6, name);
        }
    }

    // The English file reaches the pages' captions (the page list is filled from them when
    // the dialog appears) and the controls.
    void englishFileTranslates() {
        TempDir dir;
        const auto file =
            dir.Write("english.lng", ReadFile(TESSERON_SOURCE_DIR "/data/languages/english.lng"));
        TSettings settings;
        FakeDesktop desktop;
        TdlgOptions dialog(nullptr, settings, desktop);
        TLangChanger changer;
        changer.SetLangFile(file.string());
        QtTranslationTarget form(&dialog);
        changer.TranslateForm(form);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), "Program settings");
        auto* list = Get<QListWidget>(&dialog, "lvPages");
        QCOMPARE(list->item(3)->text(), "Integration");
        QCOMPARE(Get<QCheckBox>(&dialog, "cbUseProxy")->text(), "Use a proxy");
        QCOMPARE(Get<QPushButton>(&dialog, "CancelBtn")->text(), "Cancel");
    }
};

} // namespace tesseron::test

QTEST_MAIN(tesseron::test::OptionsTest)
#include "test_options.moc"
