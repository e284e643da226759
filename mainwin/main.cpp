#include "mainwin/main.h"

#include "app/Resources.h"
#include "app/TesseronVersion.h"
#include "desktop/DesktopServices.h"
#include "desktop/QtText.h"
#include "desktop/StaleTemporaries.h"
#include "desktop/about.h"
#include "desktop/defaults.h"
#include "desktop/mapimail.h"
#include "locale/QtTranslationTarget.h"
#include "mainwin/ResultsView.h"
#include "mainwin/SettingsAdapters.h"
#include "mainwin/uDlgOptions.h"
#include "mainwin/uFrmRdapJson.h"
#include "query/AddressBox.h"
#include "query/WebAddress.h"
#include "query/uFrmShowProgress.h"
#include "serverdb/BootstrapUpdate.h"
#include "serverdb/ServerListUpdate.h"
#include "serverdb/ServerListWalks.h"
#include "serverdb/uDlgUpdateRating.h"
#include "serverdb/udlgShowServers.h"
#include "ui_main.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLineEdit>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleFactory>
#include <QSystemTrayIcon>
#include <QTimer>

#include <filesystem>

namespace tesseron {
namespace {

constexpr int kMinQueryPanelWidth = 225; // narrower drags of the splitter are refused
constexpr int kTrayTipLength = 127;

// The menu bar's style: the desktop's own, except that Alt alone always reaches the menus.
class MenuBarKeysStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_MenuBar_AltKeyNavigation) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

TTesseronForm::TTesseronForm(ProgramPaths paths, TSettings& settings, DesktopServices& desktop,
                             QWidget* parent)
    : TFormINI(std::move(paths), settings, desktop, parent), langChanger_(OpenFormTargets) {
    InitTesseronResources();
    Desktop().SetMainWindow(this, &langChanger_);
    ui_ = std::make_unique<Ui::TTesseronForm>();
    ui_->setupUi(this);
    ApplyStoredPlacement();
    // What the user saw at the end of the last run: a window that is never shown this
    // time keeps it, and one left in the tray starts in the tray.
    storedWindowState_ = ReadWindowState(ProfileFile(Paths().SettingsFile()));
    setWindowState(Qt::WindowMaximized); // as designed; the first show applies the saved state
    SetUpWidgets();
    SetUpMenus();
    ConnectActions();
    FormCreate();
    UpdateActions();
}

TTesseronForm::~TTesseronForm() {
    Destroy();
}

void TTesseronForm::SetUpWidgets() {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(12);
    ui_->RichEdit1->setFont(fixed);
    ui_->RichEdit1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    ui_->lvResults->header()->setSectionsClickable(false);

    resultsView_ = new ResultsView(ui_->lvResults, ui_->RichEdit1, ui_->StatusBar1, results_,
                                   messages_, Desktop(), this);
    connect(resultsView_, &ResultsView::addressChosen, ui_->cmbHost, &QComboBox::setEditText);
    resultsView_->SetCharsetLookup(
        [this](const std::string& server) { return CharsetOfServer(domains_, server); });

    // The answer pane takes what the window gains; the query panel keeps its width.
    ui_->Splitter1->setStretchFactor(0, 0);
    ui_->Splitter1->setStretchFactor(1, 1);
    connect(ui_->Splitter1, &QSplitter::splitterMoved, this, &TTesseronForm::OnSplitterMoved);
    ui_->pnlQuery->installEventFilter(this);
}

void TTesseronForm::SetUpMenus() {
    auto& u = *ui_;
    // Shortcuts of context-menu items work only while their control has the focus.
    const auto bindToControl = [](QAction* action, QWidget* control,
                                  const QList<QKeySequence>& keys) {
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        control->addAction(action);
    };
    bindToControl(u.actCopyToBuffer, u.RichEdit1, {QKeySequence(Qt::CTRL | Qt::Key_C)});
    bindToControl(u.actSelectAll, u.RichEdit1, {QKeySequence(Qt::CTRL | Qt::Key_A)});
    bindToControl(u.actResultDelete, u.lvResults, {QKeySequence(Qt::Key_Delete)});
    bindToControl(
        u.actOpenBrowser, u.lvResults,
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    // The window-wide ones, Alt+F4 included, also while the focus is in a dock or menu.
    for (QAction* a :
         {u.actWhoIs, u.actResultUpdate, u.actEditServ, u.actSaveToFile, u.actPrint, u.actExit})
        addAction(a);

    pmRichEdit_ = new QMenu(this);
    pmRichEdit_->setObjectName(QStringLiteral("pmRichEdit"));
    pmRichEdit_->addActions({u.actCopyToBuffer, u.actSelectAll});
    pmRichEdit_->addSeparator();
    pmRichEdit_->addActions({u.actSaveToFile, u.actPrint, u.actResultUpdate});
    pmRichEdit_->addSeparator();
    pmRichEdit_->addAction(u.actShowRdapJson);

    pmResults_ = new QMenu(this);
    pmResults_->setObjectName(QStringLiteral("pmResults"));
    pmResults_->addAction(u.actOpenBrowser);
    pmResults_->setDefaultAction(u.actOpenBrowser);
    pmResults_->addSeparator();
    pmResults_->addActions({u.actSaveToFile, u.actResultUpdate, u.actResultDelete});
    // Mailing a result is where a user looks for it: on the results' own menu.
    pmResults_->addSeparator();
    pmResults_->addAction(u.actSendEmail);

    pmTray_ = new QMenu(this);
    pmTray_->setObjectName(QStringLiteral("pmTray"));
    pmTray_->addAction(u.actShowMainForm);
    pmTray_->setDefaultAction(u.actShowMainForm);
    pmTray_->addAction(u.actEditServ);
    pmTray_->addSeparator();
    pmTray_->addAction(u.actOptions);
    pmTray_->addSeparator();
    pmTray_->addActions({u.actWhatNew, u.actHome, u.actMail});
    pmTray_->addSeparator();
    pmTray_->addAction(u.actAbout);
    pmTray_->addSeparator();
    pmTray_->addAction(u.actExit);

    connect(u.RichEdit1, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        UpdateActions();
        pmRichEdit_->popup(ui_->RichEdit1->viewport()->mapToGlobal(p));
    });
    connect(u.lvResults, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        UpdateActions();
        pmResults_->popup(ui_->lvResults->viewport()->mapToGlobal(p));
    });
    for (QMenu* menu : {u.mnFile, u.mnQuery, u.mnEdit, u.mnHelp, pmTray_})
        connect(menu, &QMenu::aboutToShow, this, &TTesseronForm::UpdateActions);

    // Alt alone reaches the menu bar whatever the desktop style says, and F10 opens the
    // first menu, as desktop users know it.
    auto* keys = new MenuBarKeysStyle(QStyleFactory::create(QApplication::style()->name()));
    keys->setParent(u.MainMenu1);
    u.MainMenu1->setStyle(keys);
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this,
            [this] { ui_->MainMenu1->setActiveAction(ui_->mnFile->menuAction()); });

    trayIcon_ = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/tesseron.svg")), this);
    trayIcon_->setContextMenu(pmTray_); // right click
    connect(trayIcon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) ShowMainForm();
            });
    setWindowIcon(trayIcon_->icon());
}

void TTesseronForm::ConnectActions() {
    auto& u = *ui_;
    connect(u.actWhoIs, &QAction::triggered, this, &TTesseronForm::actWhoIsExecute);
    connect(u.actResultUpdate, &QAction::triggered, this, &TTesseronForm::actResultUpdateExecute);
    connect(u.actEditServ, &QAction::triggered, this, &TTesseronForm::OpenServerBrowser);
    connect(u.actUpdateRating, &QAction::triggered, this, &TTesseronForm::OpenServerListUpdate);
    connect(u.actOptions, &QAction::triggered, this, &TTesseronForm::OpenOptions);
    connect(u.actAbout, &QAction::triggered, this, &TTesseronForm::OpenAbout);
    connect(u.actSendEmail, &QAction::triggered, this, &TTesseronForm::SendResultByMail);
    connect(u.actShowRdapJson, &QAction::triggered, this, &TTesseronForm::ShowRdapJson);
    connect(u.actExit, &QAction::triggered, this, &QWidget::close);
    connect(u.actShowMainForm, &QAction::triggered, this, &TTesseronForm::ShowMainForm);
    connect(u.actWhatNew, &QAction::triggered, this, &TTesseronForm::OpenHelpFile);
    connect(u.actHome, &QAction::triggered, this,
            [this] { Desktop().OpenInShell(TAboutBox::SiteUrl()); });
    connect(u.actMail, &QAction::triggered, this,
            [this] { Desktop().MailToInShell(TAboutBox::SupportAddress()); });

    auto* view = resultsView_;
    connect(u.actSaveToFile, &QAction::triggered, view, &ResultsView::SaveToFile);
    connect(u.actCopyToBuffer, &QAction::triggered, view, &ResultsView::CopyToBuffer);
    connect(u.actSelectAll, &QAction::triggered, view, &ResultsView::SelectAll);
    connect(u.actPrint, &QAction::triggered, view, &ResultsView::Print);
    connect(u.actOpenBrowser, &QAction::triggered, view, &ResultsView::OpenInBrowser);
    connect(u.actResultDelete, &QAction::triggered, view, &ResultsView::DeleteSelected);
    connect(u.actClear, &QAction::triggered, view, &ResultsView::ClearAll);

    // The check actions store their state; the check boxes mirror them.
    connect(u.actUseRating, &QAction::toggled, this,
            [this](bool on) { Settings().bUseRating = on; });
    connect(u.actWhoisAsDomain, &QAction::toggled, this,
            [this](bool on) { Settings().bAsDomain = on; });
    connect(u.actShowRawAnswer, &QAction::toggled, this,
            [this](bool on) { Settings().bShowRawAnswer = on; });
    const auto mirror = [this](QAction* action, QCheckBox* box) {
        connect(box, &QCheckBox::clicked, action, [action](bool on) {
            if (action->isChecked() != on) action->trigger();
        });
        connect(action, &QAction::changed, box, [action, box] {
            box->setText(action->text());
            box->setToolTip(action->toolTip());
            box->setChecked(action->isChecked());
        });
        // setChecked() does not always report through changed(); toggled() always comes.
        connect(action, &QAction::toggled, box, &QCheckBox::setChecked);
        box->setChecked(action->isChecked());
    };
    mirror(u.actUseRating, u.cbUseRating);
    mirror(u.actWhoisAsDomain, u.cbAsDomain);

    // Enter in the server box starts a query when one may start.
    connect(u.cmbServerName->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        UpdateActions();
        if (ui_->actWhoIs->isEnabled()) ui_->actWhoIs->trigger();
    });

    // A double click in the results list opens the rows in the browser: ResultsView does it.

    // What the action states depend on.
    connect(u.cmbHost, &QComboBox::editTextChanged, this, &TTesseronForm::ScheduleUpdate);
    connect(u.cmbServerName, &QComboBox::editTextChanged, this, &TTesseronForm::ScheduleUpdate);
    connect(u.RichEdit1, &QTextEdit::textChanged, this, &TTesseronForm::ScheduleUpdate);
    connect(u.RichEdit1, &QTextEdit::selectionChanged, this, &TTesseronForm::ScheduleUpdate);
    connect(u.lvResults, &QTreeWidget::itemSelectionChanged, this, &TTesseronForm::ScheduleUpdate);
    for (QAction* a : findChildren<QAction*>())
        connect(a, &QAction::triggered, this, &TTesseronForm::ScheduleUpdate);
}

// The creation handler, in the order start-up has always followed.
void TTesseronForm::FormCreate() {
    updateList_.clear();
    try {
        Paths().EnsureWritableDir();
    } catch (const std::exception& e) {
        // Said at start-up, before the user's work of this run depends on it.
        SayAtStart([text = QString::fromUtf8(e.what())] { return text; });
    }
    // Held while the window runs: the results file is written over when it shuts down.
    QString lockProblem;
    if (!Settings().ResultsPath.empty()) { // empty: the folder's problem was said above
        try {
            resultsLock_ = InstanceLock::Acquire(InstanceLock::For(Settings().ResultsPath), {});
        } catch (const std::exception& e) {
            lockProblem = QString::fromUtf8(e.what());
        }
    }
    // With the lock no other run of ours writes these files, so what a killed run left is stale.
    if (resultsLock_) RemoveStaleTemporaries(WrittenFiles());
    LoadServerList();
    LoadRegistries();
    LoadResults();
    if (!resultsLock_ && !Settings().ResultsPath.empty())
        SayAtStart([this, lockProblem] {
            return tr("The answers of this window will not be kept in the results file %1: %2.")
                .arg(ToQString(Settings().ResultsPath),
                     lockProblem.isEmpty() ? tr("it is in use by another Tesseron window or run")
                                           : lockProblem);
        });
    resultsView_->LoadResultToListView();
    if (results_.Count() > 0) {
        if (QTreeWidgetItem* top = ui_->lvResults->topLevelItem(0)) top->setSelected(true);
        resultsView_->SelectResult(&results_[results_.Count() - 1]);
    }
    for (const auto& address : ServerBoxAddresses(domains_))
        ui_->cmbServerName->addItem(ToQString(address));
    ListLang();
    const QString title = ApplicationTitle();
    setWindowTitle(title);
    trayIcon_->setToolTip(title.left(kTrayTipLength));
    FillHistoryFromResults();
    if (ui_->cmbServerName->count() > 0) ui_->cmbServerName->setCurrentIndex(0);
    ui_->actUseRating->setChecked(Settings().bUseRating);
    ui_->actWhoisAsDomain->setChecked(Settings().bAsDomain);
    ui_->actShowRawAnswer->setChecked(Settings().bShowRawAnswer);
    acceptedPanelWidth_ = Settings().pnlQureyWidth;
    SetQueryPanelWidth(acceptedPanelWidth_);
    if (Desktop().TrayAvailable()) trayIcon_->show();
}

std::vector<std::filesystem::path> TTesseronForm::WrittenFiles() const {
    const std::filesystem::path results = Settings().ResultsPath;
    const std::filesystem::path list = Settings().ServerListPath;
    const std::filesystem::path updated = Paths().UpdatedServerListFile();
    std::vector<std::filesystem::path> files{results,
                                             std::filesystem::path(results.string() + ".damaged"),
                                             Paths().SettingsFile(),
                                             list,
                                             UpdateTempPath(list),
                                             UpdateBackupPath(list),
                                             updated,
                                             UpdateTempPath(updated),
                                             UpdateBackupPath(updated)};
    if (const auto rdap = Paths().UpdatedRdapFolder(); !rdap.empty())
        for (const std::string_view name : kBootstrapFileNames)
            for (const auto& file :
                 {rdap / name, UpdateTempPath(rdap / name), UpdateBackupPath(rdap / name)})
                files.push_back(file);
    return files;
}

void TTesseronForm::LoadServerList() {
    try {
        domains_.LoadFromFile(Settings().ServerListPath);
    } catch (const std::exception& e) {
        domains_.Clear(); // what a broken file left half-read is not used
        SayAtStart([this, why = QString::fromUtf8(e.what())] {
            return tr("The server list %1 could not be read:\n%2")
                .arg(ToQString(Settings().ServerListPath), why);
        });
    }
    const auto totals = CountTotals(domains_);
    resultsView_->SetCounts(totals.zones, totals.servers);
}

void TTesseronForm::LoadRegistries() {
    const std::string faults =
        registries_.LoadFiles([this](std::string_view name) { return Paths().RdapFile(name); });
    if (faults.empty()) return;
    // Numbers still go to their zone's servers, in the list's order.
    SayAtStart([why = QString::fromStdString(faults)] {
        return tr("The registries' data could not be read, so numbers are asked of their "
                  "zone's servers in list order:\n%1")
            .arg(why);
    });
}

void TTesseronForm::LoadResults() {
    try {
        results_.LoadFromFile(Settings().ResultsPath); // a missing file is an empty store
    } catch (const std::exception& e) {
        SayAtStart([this, why = QString::fromUtf8(e.what())] {
            return tr("The results file %1 could not be read:\n%2")
                .arg(ToQString(Settings().ResultsPath), why);
        });
    }
}

void TTesseronForm::FillHistoryFromResults() {
    ui_->cmbHost->clear();
    const int lines = Settings().HistoryLines;
    for (int i = results_.Count() - 1; i >= 0 && ui_->cmbHost->count() < lines; --i)
        ui_->cmbHost->addItem(ToQString(results_[i].QueryString));
    if (ui_->cmbHost->count() > 0) ui_->cmbHost->setCurrentIndex(0);
}

std::vector<std::string> TTesseronForm::History() const {
    std::vector<std::string> items;
    for (int i = 0; i < ui_->cmbHost->count(); ++i)
        items.push_back(ToStdString(ui_->cmbHost->itemText(i)));
    return items;
}

QString TTesseronForm::ApplicationTitle() const {
    return ToQString(GetVersionString(false)) + QStringLiteral(" \u2014 ") +
           QString::fromUtf8(version::kMakerName) + QStringLiteral(": ") +
           QString::fromUtf8(version::kMakerUrl);
}

void TTesseronForm::LoadLanguage() {
    LanguageHooks hooks;
    hooks.setColumnCaptions = [this](const MessageTable&) {
        resultsView_->SetResultColumnCaptions();
        // The panels hold texts made from the message strings: redo them too.
        resultsView_->RepaintStatusBar();
    };
    try {
        tesseron::LoadLanguage(langChanger_, messages_, Settings().DefaultLang, Paths(), hooks);
    } catch (const std::exception& e) {
        Desktop().ShowError(QString::fromUtf8(e.what()));
    }
    // Installed anew so that open windows and Qt's dialogs take the new texts.
    QCoreApplication::removeTranslator(&qtTexts_);
    qtTexts_.Load(langChanger_);
    QCoreApplication::installTranslator(&qtTexts_);
    // What start-up had to say waited for the language, so it is said in the user's own.
    languageLoaded_ = true;
    auto pending = std::move(startMessages_);
    startMessages_.clear();
    for (const auto& text : pending)
        Desktop().ShowError(text());
}

void TTesseronForm::SayAtStart(std::function<QString()> text) {
    if (languageLoaded_)
        Desktop().ShowError(text());
    else
        startMessages_.push_back(std::move(text));
}

void TTesseronForm::ListLang() {
    ui_->mnChangeLang->clear();
    delete langGroup_;
    langGroup_ = new QActionGroup(this);
    langGroup_->setExclusive(true);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Paths().LanguagesDir(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name == "." || name == ".." || !IsLanguageFileName(name)) continue;
        // "&" would turn into an accelerator mark; the file name is kept as the item's data.
        QAction* item =
            ui_->mnChangeLang->addAction(ToQString(name).replace('&', QStringLiteral("&&")));
        item->setData(ToQString(name));
        item->setCheckable(true);
        item->setChecked(name == Settings().DefaultLang);
        langGroup_->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { ChangeLang(item); });
    }
}

void TTesseronForm::ChangeLang(QAction* item) {
    Settings().DefaultLang = ToStdString(item->data().toString());
    item->setChecked(true);
    LoadLanguage();
    resultsView_->RepaintStatusBar();
}

void TTesseronForm::ScheduleUpdate() {
    if (updatePending_) return;
    updatePending_ = true;
    QTimer::singleShot(0, this, [this] {
        updatePending_ = false;
        UpdateActions();
    });
}

void TTesseronForm::UpdateActions() {
    auto& u = *ui_;
    const ResultsView& view = *resultsView_;
    u.actWhoIs->setEnabled(IsQueryEnabled(ToStdString(u.cmbHost->currentText()),
                                          ToStdString(u.cmbServerName->currentText()),
                                          Settings().bUseRating));
    const TWhoisResultItem* current = view.CurrentResult();
    u.actResultUpdate->setEnabled(current != nullptr);
    u.actShowRdapJson->setEnabled(current && current->IsRdap() && !current->RdapJson.empty());
    const bool lines = view.HasAnswerLines();
    u.actSaveToFile->setEnabled(lines);
    u.actPrint->setEnabled(lines);
    u.actSelectAll->setEnabled(lines);
    u.actCopyToBuffer->setEnabled(view.HasAnswerSelection());
    const bool rows = view.HasSelectedRows();
    u.actResultDelete->setEnabled(rows);
    u.actOpenBrowser->setEnabled(rows);
    u.actSendEmail->setEnabled(rows);
    u.actShowRawAnswer->setEnabled(false);
    // While a dialog is open the tray menu can only bring it back: no second dialog over
    // it and no exit from under it.
    const bool modal = QApplication::activeModalWidget() != nullptr;
    for (QAction* a : {u.actEditServ, u.actUpdateRating, u.actOptions, u.actAbout, u.actExit})
        a->setEnabled(!modal);

    // With automatic choice the server box is out of use and drawn like a button.
    const bool rating = u.actUseRating->isChecked();
    u.cmbServerName->setEnabled(!rating);
    QPalette palette = u.cmbServerName->palette();
    palette.setColor(QPalette::All, QPalette::Base,
                     this->palette().color(rating ? QPalette::Button : QPalette::Base));
    u.cmbServerName->setPalette(palette);
}

void TTesseronForm::actWhoIsExecute() {
    AddAddresses();
    RunQueries({ToStdString(ui_->cmbHost->currentText())});
}

void TTesseronForm::actResultUpdateExecute() {
    updateList_ = resultsView_->SelectedTopToBottom();
    if (updateList_.empty())
        if (const TWhoisResultItem* current = resultsView_->CurrentResult())
            updateList_.push_back(current->Id());
    if (updateList_.empty()) return;
    RunQueries({ToStdString(ui_->cmbHost->currentText())});
}

void TTesseronForm::AddAddresses() {
    const bool smart = Settings().bSmartFilterURL;
    std::string text = FilterWebAddress(ToStdString(ui_->cmbHost->currentText()), smart);
    if (ui_->cbAsDomain->isChecked()) text = StripLeadingWww(text, smart);
    std::vector<std::string> history = History();
    AddToHistory(history, text, Settings().HistoryLines);
    ui_->cmbHost->clear();
    for (const auto& item : history)
        ui_->cmbHost->addItem(ToQString(item));
    ui_->cmbHost->setCurrentIndex(0);
}

namespace {

// The store step of the window's runs: answers go into the result store with the store
// settings taken when the run starts, and the views follow them.
class WindowStore final : public ResultSink {
public:
    WindowStore(TWhoisResultCollection& results, ResultsView& view, StoreSettings settings)
        : results_(results), view_(view), settings_(std::move(settings)) {}

    std::optional<QueuedEntry> ReadQueued(ResultId id) override {
        const TWhoisResultItem* item = results_.Find(id);
        if (!item) return std::nullopt;
        return QueuedEntry{item->QueryString, item->QueryType, item->Protocol};
    }

    std::optional<ResultId> StoreAnswer(const StoreRequest& request) override {
        TWhoisResultItem* item = StoreResult(results_, request, settings_);
        view_.LoadResultToListView();
        // When the trim took the stored entry, the current result stays if it still exists.
        view_.SelectResult(item ? item : view_.CurrentResult());
        if (!item) return std::nullopt;
        return item->Id();
    }

private:
    TWhoisResultCollection& results_;
    ResultsView& view_;
    StoreSettings settings_;
};

} // namespace

void TTesseronForm::RunQueries(std::vector<std::string> addresses) {
    RunRequest request{std::move(addresses), updateList_, ui_->actWhoisAsDomain->isChecked()};
    WindowStore store(results_, *resultsView_, MakeStoreSettings(Settings()));
    RunSettings settings =
        MakeRunSettings(Settings(), ToStdString(ui_->cmbServerName->currentText()));
    settings.connectTo = connectTo_;
    {
        TfrmShowProgress progress(std::move(request), std::move(settings), &domains_, &registries_,
                                  messages_, store, this);
        QtTranslationTarget target(&progress);
        langChanger_.TranslateForm(target);
        progress.setWindowModality(Qt::WindowModal); // the tray icon stays usable
        progress.exec();
    }
    updateList_.clear();
    ScheduleUpdate();
}

void TTesseronForm::SetQueryPanelWidth(int width) {
    QSplitter* splitter = ui_->Splitter1;
    const int total = std::max(splitter->width() - splitter->handleWidth(), width + 1);
    splitter->setSizes({width, total - width});
}

int TTesseronForm::QueryPanelWidth() const {
    // Before the first show the panel has no real size yet: the width asked for counts.
    return ui_->pnlQuery->testAttribute(Qt::WA_WState_Visible) ? ui_->pnlQuery->width()
                                                               : acceptedPanelWidth_;
}

void TTesseronForm::OnSplitterMoved() {
    const int width = ui_->Splitter1->sizes().value(0);
    if (width >= kMinQueryPanelWidth) {
        acceptedPanelWidth_ = width;
        return;
    }
    // A drag past the limit stops at it, wherever the last mouse move landed; a panel
    // already narrower (from the settings file) is not made narrower still.
    acceptedPanelWidth_ = std::min(acceptedPanelWidth_, kMinQueryPanelWidth);
    SetQueryPanelWidth(acceptedPanelWidth_);
}

bool TTesseronForm::eventFilter(QObject* watched, QEvent* event) {
    // The first layout of the splitter ignores the sizes set before it: set them again.
    if (watched == ui_->pnlQuery && event->type() == QEvent::Show && !panelShown_) {
        panelShown_ = true;
        SetQueryPanelWidth(acceptedPanelWidth_);
    }
    return TFormINI::eventFilter(watched, event);
}

void TTesseronForm::HandOver(const QByteArray& payload) {
    if (payload == "-minimize") {
        // The open dialog needs the window: it comes to the front instead of being left
        // alone on the screen.
        if (QWidget* modal = QApplication::activeModalWidget()) return BringToFront(modal);
        if (FirstShowPending())
            StartHidden();
        else
            HideToTray();
        return;
    }
    // A plain second start: the user is looking for the running window.
    if (payload.isEmpty()) return ShowMainForm();
    const std::string text(payload.constData(), static_cast<size_t>(payload.size()));
    // A whois: link names its address whatever the filtering setting.
    ui_->cmbHost->setEditText(
        ToQString(FilterWebAddress(AddressFromWhoisLink(text), Settings().bSmartFilterURL)));
}

void TTesseronForm::StartHidden() {
    startHidden_ = true;
    // Without a notification area a hidden window could never be reached again.
    if (!Desktop().TrayAvailable()) {
        SetStartMinimised(true);
        show();
    }
}

void TTesseronForm::ShowAtStart() {
    // Closed from the tray after minimising: the window comes back where it was left.
    if (storedWindowState_ == int(WindowStateValue::Minimized) && Desktop().TrayAvailable())
        startHidden_ = true;
    if (!startHidden_) show();
}

void TTesseronForm::HideToTray() {
    if (Desktop().TrayAvailable())
        hide();
    else
        showMinimized();
}

void TTesseronForm::ShowMainForm() {
    BringToFront(this);
    // A modal dialog holds the input: it has to be in front of the window, not behind it.
    if (QWidget* modal = QApplication::activeModalWidget()) BringToFront(modal);
}

void TTesseronForm::BringToFront(QWidget* window) {
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    // The first show applies the saved state, which may be minimised.
    if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

void TTesseronForm::changeEvent(QEvent* event) {
    TFormINI::changeEvent(event);
    // A window manager that minimises a modal dialog with its owner must not send the
    // window to the tray: the dialog would sit there alone, out of reach.
    const auto toTray = [this] {
        return isMinimized() && isVisible() && Desktop().TrayAvailable() &&
               !QApplication::activeModalWidget();
    };
    if (event->type() == QEvent::WindowStateChange && toTray())
        QTimer::singleShot(0, this, [this, toTray] {
            if (toTray()) hide();
        });
}

void TTesseronForm::closeEvent(QCloseEvent* event) {
    TFormINI::closeEvent(event);
    if (event->isAccepted()) emit closed();
}

void TTesseronForm::FormDestroy() {
    updateList_.clear();
    // Never shown (started to the tray and closed from there): the state written is the
    // one the user last saw, from the settings file, not the designed one.
    if (FirstShowPending()) {
        Qt::WindowStates state = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
        if (storedWindowState_ == int(WindowStateValue::Minimized)) state |= Qt::WindowMinimized;
        if (storedWindowState_ == int(WindowStateValue::Maximized)) state |= Qt::WindowMaximized;
        if (storedWindowState_ >= 0 && storedWindowState_ <= 2) setWindowState(state);
    }
    // Without the lock another run writes the file: writing it here would lose its answers.
    if (resultsLock_) {
        try {
            Paths().EnsureWritableDir(); // a folder we may not use is never written in
            results_.SaveToFile(Settings().ResultsPath);
        } catch (const std::exception& e) {
            ReportError(QString::fromUtf8(e.what()));
        }
    }
    resultsLock_.reset();
    Settings().pnlQureyWidth = QueryPanelWidth();
}

void TTesseronForm::OpenHelpFile() {
    Desktop().OpenInShell(ToQString((Paths().dataDir / messages_.sfilehistory).string()));
}

// ---- dialogs: each created owned by the window, translated, shown modally, destroyed ----

void TTesseronForm::TranslateDialog(QWidget& dialog) {
    QtTranslationTarget target(&dialog);
    langChanger_.TranslateForm(target);
}

int TTesseronForm::ShowModal(QDialog& dialog, bool resizable) {
    // Unless resizable, fixed-border dialogs: a title, a window menu and a close button,
    // nothing to minimise or maximise them with, and a size the user cannot drag.
    if (!resizable) {
        dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                              Qt::MSWindowsFixedSizeDialogHint);
        if (dialog.minimumSize() != dialog.maximumSize())
            dialog.setFixedSize(dialog.size().expandedTo(dialog.minimumSizeHint()));
    }
    // Modal to the window only, so the tray icon still answers and can bring it back.
    dialog.setWindowModality(Qt::WindowModal);
    const int result = dialog.exec();
    // Minimised together with the dialog: the window now goes where minimising sends it.
    if (isMinimized() && isVisible() && Desktop().TrayAvailable()) HideToTray();
    ScheduleUpdate();
    return result;
}

void TTesseronForm::OpenServerBrowser() {
    TdlgShowServers dialog(this, domains_, Desktop(), &registries_);
    TranslateDialog(dialog);
    ShowModal(dialog);
}

void TTesseronForm::OpenServerListUpdate() {
    TdlgUpdateRating::Deps deps;
    deps.whoisFileLink = &Settings().WhoisFileLink;
    deps.serverListPath = &Settings().ServerListPath;
    deps.domains = &domains_;
    deps.messages = &messages_;
    deps.installPath = Paths().UpdatedServerListFile();
    deps.prepareFolder = [this] { Paths().EnsureWritableDir(); };
    deps.rdapBootstrapUrl = &Settings().RdapBootstrapUrl;
    deps.rdapFolder = Paths().UpdatedRdapFolder();
    deps.rdapFile = [this](std::string_view name) { return Paths().RdapFile(name); };
    deps.registries = &registries_;
    TdlgUpdateRating dialog(this, Desktop(), std::move(deps));
    connect(&dialog, &TdlgUpdateRating::serverListReplaced, this, [this] {
        const auto totals = CountTotals(domains_);
        resultsView_->SetCounts(totals.zones, totals.servers);
    });
    TranslateDialog(dialog);
    ShowModal(dialog);
}

void TTesseronForm::OpenOptions() {
    TdlgOptions dialog(this, Settings(), Desktop());
    TranslateDialog(dialog);
    ShowModal(dialog);
}

void TTesseronForm::OpenAbout() {
    TAboutBox dialog(this, Desktop());
    TranslateDialog(dialog);
    ShowModal(dialog);
}

void TTesseronForm::SendResultByMail() {
    const auto selected = resultsView_->SelectedTopToBottom();
    const TWhoisResultItem* result =
        selected.empty() ? resultsView_->CurrentResult() : results_.Find(selected.front());
    if (result == nullptr) return;
    const std::string error =
        Desktop().SendMail(kMailSubject, result->RawAnswer, result->QueryString);
    if (!error.empty()) Desktop().ShowError(QString::fromUtf8(error));
}

void TTesseronForm::ShowRdapJson() {
    const TWhoisResultItem* result = resultsView_->CurrentResult();
    if (!result || !result->IsRdap() || result->RdapJson.empty()) return;
    TfrmRdapJson dialog(this, result->RdapJson);
    TranslateDialog(dialog);
    ShowModal(dialog, true); // long documents: the user may want it larger
}

} // namespace tesseron
