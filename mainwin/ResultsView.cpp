#include "mainwin/ResultsView.h"

#include "mainwin/StatusPanels.h"

#include <QHelpEvent>
#include <QToolTip>

#include "desktop/AtomicFile.h"
#include "desktop/DesktopServices.h"
#include "desktop/QtText.h"
#include "locale/AnswerCharset.h"
#include "locale/TextFormat.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QItemSelection>
#include <QMouseEvent>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollBar>
#include <QStatusBar>
#include <QStringDecoder>
#include <QTextEdit>
#include <QTreeWidget>
#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>

namespace tesseron {

namespace {

constexpr int kImageWidth = 16;
constexpr int kDataRole = Qt::UserRole;
constexpr QItemSelectionModel::SelectionFlags kSelectOnly =
    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;

QIcon ResourceIcon(const char* name) {
    // Drawn empty until the resource file carries the picture.
    const QString path = QStringLiteral(":/icons/") + QLatin1String(name);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace

QString DecodeAnswer(const std::string& bytes, const std::string& charset) {
    const std::string utf8 = AnswerToUtf8(bytes, charset);
    // A leading byte-order mark is part of the answer, not a hint to drop.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(utf8.data(), qsizetype(utf8.size())));
}

ResultsView::ResultsView(QTreeWidget* lvResults, QTextEdit* richEdit1, QStatusBar* statusBar1,
                         TWhoisResultCollection& results, const MessageTable& messages,
                         DesktopServices& desktop, QObject* parent)
    : QObject(parent), list_(lvResults), pane_(richEdit1), results_(results), messages_(messages),
      desktop_(desktop), resultIcon_(ResourceIcon("result.svg")) {
    list_->setColumnCount(3);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true); // keeps a rebuild of many rows cheap
    list_->setSortingEnabled(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setAllColumnsShowFocus(true);
    list_->setIconSize(QSize(kImageWidth, kImageWidth));
    QHeaderView* header = list_->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(50);
    // The date keeps the width of its text (FitDateColumn); address and server share the
    // rest.
    header->setStretchLastSection(false); // it would override the date's own width
    header->setSectionResizeMode(QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::Fixed);
    list_->viewport()->installEventFilter(this);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                OnSelectionChanged(selected);
            });

    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(12);
    pane_->setFont(fixed);
    pane_->setAcceptRichText(false);
    pane_->setReadOnly(false);
    pane_->setTabChangesFocus(true); // Tab leaves the pane instead of typing into the answer
    pane_->setLineWrapMode(QTextEdit::WidgetWidth);
    pane_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pane_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    panels_ = new StatusPanels(statusBar1); // the status bar owns it
    statusBar1->addWidget(panels_, 1);

    SetResultColumnCaptions();
    RepaintStatusBar();
}

void ResultsView::LoadResultToListView() {
    const TWhoisResultCollection& results = results_;
    std::vector<std::unique_ptr<QTreeWidgetItem>> built;
    built.reserve(std::size_t(results.Count()));
    // Measuring every row through the list would make a rebuild of many rows several times
    // slower; dates differ in their digits only, and digits share one width in the fonts
    // lists use, so each shape of date is measured once.
    const QFontMetrics metrics(list_->font());
    std::unordered_map<std::string, int> dateWidths;
    dateWidth_ = 0;
    for (int i = results.Count() - 1; i >= 0; --i) {
        const TWhoisResultItem& result = results[i];
        std::string shape = result.QueryDate;
        for (char& c : shape)
            if (c >= '0' && c <= '9') c = '0';
        auto known = dateWidths.find(shape);
        if (known == dateWidths.end())
            known = dateWidths
                        .emplace(std::move(shape),
                                 metrics.horizontalAdvance(ToQString(result.QueryDate)))
                        .first;
        dateWidth_ = std::max(dateWidth_, known->second);
        auto& row = built.emplace_back(std::make_unique<QTreeWidgetItem>(
            QStringList{ToQString(result.QueryString), ToQString(result.ServerName),
                        ToQString(result.QueryDate)}));
        row->setIcon(0, resultIcon_);
        row->setData(0, kDataRole, QVariant::fromValue<qulonglong>(result.Id()));
    }
    // One insertion with painting suspended keeps a rebuild of many rows fast.
    QList<QTreeWidgetItem*> rows;
    rows.reserve(qsizetype(built.size()));
    for (auto& row : built)
        rows.append(row.release()); // the list owns them from here on
    const bool wasSelfSelecting = std::exchange(selfSelecting_, true);
    list_->setUpdatesEnabled(false);
    list_->clear();
    list_->addTopLevelItems(rows);
    list_->setUpdatesEnabled(true);
    selfSelecting_ = wasSelfSelecting;
    FitDateColumn();
}

void ResultsView::FitDateColumn() {
    const int margin = list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_);
    QHeaderView* header = list_->header();
    header->resizeSection(2,
                          std::max(header->sectionSizeHint(2), dateWidth_ + 2 * (margin + 1) + 4));
}

TWhoisResultItem* ResultsView::ResultOf(const QTreeWidgetItem* row) const {
    if (row == nullptr) return nullptr;
    const QVariant id = row->data(0, kDataRole);
    return id.isValid() ? results_.Find(id.toULongLong()) : nullptr;
}

void ResultsView::SelectResult(TWhoisResultItem* item) {
    current_.reset();
    if (item != nullptr) {
        current_ = item->Id();
        emit addressChosen(ToQString(item->QueryString));
    }
    ShowAnswerInBrowser(item);
    RepaintStatusBar();
}

TWhoisResultItem* ResultsView::CurrentResult() const {
    return current_ ? results_.Find(*current_) : nullptr;
}

void ResultsView::ShowAnswerInBrowser(TWhoisResultItem* item) {
    if (item == nullptr) {
        pane_->clear();
        return;
    }
    // An RDAP answer is text we rendered, UTF-8 whatever the host's port-43 server sends.
    const std::string charset = charsetOf_ && !item->IsRdap() ? charsetOf_(item->ServerName) : "";
    pane_->setPlainText(DecodeAnswer(item->RawAnswer, charset));
}

QString ResultsView::Message(const std::string& text, const std::string& argument) const {
    try {
        return ToQString(Format(text, argument));
    } catch (const FormatError&) {
        // A broken language text is shown as it stands rather than breaking the window.
        return ToQString(text);
    }
}

QString ResultsView::RowToolTip(const TWhoisResultItem& result) const {
    const MessageTable& m = messages_;
    QStringList lines;
    lines << ToQString(m.sAddress) + QStringLiteral(": ") + ToQString(result.QueryString);
    if (!result.IpAddress.empty())
        lines << ToQString(m.sIP) + QStringLiteral(": ") + ToQString(result.IpAddress);
    if (!result.ReverseName.empty()) lines << Message(m.sReverseName, result.ReverseName);
    lines << ToQString(m.sServer) + QStringLiteral(": ") + ToQString(result.ServerName);
    lines << ToQString(m.sDate) + QStringLiteral(": ") + ToQString(result.QueryDate);
    return lines.join(QLatin1Char('\n'));
}

void ResultsView::SetResultColumnCaptions() {
    const MessageTable& m = messages_;
    list_->setHeaderLabels({ToQString(m.sAddress), ToQString(m.sServer), ToQString(m.sDate)});
    FitDateColumn(); // the caption may be the wider
}

QString ResultsView::ToolTipOf(const QTreeWidgetItem* row) const {
    const TWhoisResultItem* result = ResultOf(row);
    return result ? RowToolTip(*result) : QString();
}

void ResultsView::SetCounts(int zones, int servers) {
    zones_ = zones;
    servers_ = servers;
    RepaintStatusBar();
}

void ResultsView::RepaintStatusBar() {
    const MessageTable& m = messages_;
    std::array<StatusPanels::Panel, 8> panels;
    if (const TWhoisResultItem* result = CurrentResult()) {
        panels[0] = {ToQString(result->QueryString), resultIcon_, 1, kImageWidth + 4};
        panels[1].text = ToQString(result->ServerName);
        panels[2].text = ToQString(result->IpAddress);
        panels[3].text = ToQString(result->ReverseName);
        panels[4].text = ToQString(result->QueryDate);
    }
    panels[5] = {Message(m.sTLDS, std::to_string(zones_)), ResourceIcon("zones.svg"), 1,
                 kImageWidth + 4};
    panels[6] = {Message(m.sServers, std::to_string(servers_)), ResourceIcon("servers.svg"), -2,
                 kImageWidth};
    panels_->SetPanels(std::move(panels));
}

std::vector<ResultId> ResultsView::SelectedTopToBottom() const {
    std::vector<ResultId> ids;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list_->topLevelItem(i);
        if (!row->isSelected()) continue;
        if (const TWhoisResultItem* result = ResultOf(row)) ids.push_back(result->Id());
    }
    return ids;
}

bool ResultsView::HasAnswerLines() const {
    return !pane_->document()->isEmpty();
}

bool ResultsView::HasAnswerSelection() const {
    return pane_->textCursor().hasSelection();
}

bool ResultsView::HasSelectedRows() const {
    return !list_->selectedItems().isEmpty();
}

void ResultsView::OnSelectionChanged(const QItemSelection& selected) {
    if (selfSelecting_) return;
    // Newly selected rows in list order; the last of them is the one selected last.
    TWhoisResultItem* chosen = nullptr;
    int chosenRow = -1;
    for (const QItemSelectionRange& range : selected) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (row <= chosenRow) continue;
            if (TWhoisResultItem* result = ResultOf(list_->topLevelItem(row))) {
                chosen = result;
                chosenRow = row;
            }
        }
    }
    if (chosen != nullptr) SelectResult(chosen);
}

void ResultsView::SelectOldestIfNoneSelected() {
    const int count = list_->topLevelItemCount();
    if (count == 0 || !list_->selectedItems().isEmpty()) return;
    list_->setCurrentItem(list_->topLevelItem(count - 1), 0, kSelectOnly);
}

bool ResultsView::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Row tool tips are made when asked for: always current, and a rebuild of many rows
    // does not pay for texts nobody looks at.
    if (watched == list_->viewport() && type == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = ToolTipOf(list_->itemAt(help->pos()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, list_->viewport());
        return true;
    }
    if (watched == list_->viewport() && !forwarding_ &&
        (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
         type == QEvent::MouseButtonDblClick))
        return AfterListHandled(watched, event);
    return QObject::eventFilter(watched, event);
}

bool ResultsView::AfterListHandled(QObject* viewport, QEvent* event) {
    forwarding_ = true;
    QCoreApplication::sendEvent(viewport, event);
    forwarding_ = false;
    // A click on the empty space below the rows ends up on the oldest result. The list
    // clears its selection on the press or, when the press was on no row, on the release.
    SelectOldestIfNoneSelected();
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        OpenInBrowser();
    return true;
}

void ResultsView::SaveToFile() {
    const TWhoisResultItem* result = CurrentResult();
    const QString proposed =
        result ? ToQString(result->QueryString) + QStringLiteral(".txt") : QString();
    QString name = desktop_.AskSaveFileName(proposed);
    if (name.isEmpty()) return;
    if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".txt");

    // Blocks come back separated by U+2029; the raw text keeps no-break spaces as they are.
    QString text = pane_->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const QByteArray bytes = text.toUtf8();
    const QByteArray path = QFile::encodeName(name);
    try {
        WriteFileAtomically(std::filesystem::path(path.toStdString()),
                            std::string_view(bytes.constData(), std::size_t(bytes.size())));
    } catch (const FileWriteError& error) {
        desktop_.ShowError(QStringLiteral("Cannot create file \"%1\". %2")
                               .arg(name, QString::fromLocal8Bit(error.what())));
    }
}

void ResultsView::CopyToBuffer() {
    pane_->copy();
}

void ResultsView::SelectAll() {
    pane_->selectAll();
}

void ResultsView::Print() {
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    if (defaultPrinter.isNull()) {
        desktop_.ShowError(QStringLiteral("There is no default printer currently selected"));
        return;
    }
    QPrinter printer(defaultPrinter, QPrinter::HighResolution);
    printer.setDocName(QString());
    printer.setFullPage(true);
    pane_->document()->print(&printer);
    if (printer.printerState() == QPrinter::Error)
        desktop_.ShowError(
            QStringLiteral("Printing on \"%1\" failed").arg(defaultPrinter.printerName()));
}

void ResultsView::OpenInBrowser() {
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list_->topLevelItem(i);
        if (!row->isSelected()) continue;
        if (const TWhoisResultItem* result = ResultOf(row))
            desktop_.OpenInShell(QStringLiteral("http://") + ToQString(result->QueryString));
    }
}

void ResultsView::DeleteSelected() {
    std::vector<QTreeWidgetItem*> doomed;
    int firstPosition = -1;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list_->topLevelItem(i);
        if (!row->isSelected()) continue;
        if (firstPosition < 0) firstPosition = i;
        doomed.push_back(row);
    }
    if (doomed.empty()) return;

    const bool wasSelfSelecting = std::exchange(selfSelecting_, true);
    for (QTreeWidgetItem* row : doomed) {
        if (TWhoisResultItem* result = ResultOf(row)) result->Delete();
        std::unique_ptr<QTreeWidgetItem> gone(
            list_->takeTopLevelItem(list_->indexOfTopLevelItem(row)));
    }
    const int remaining = list_->topLevelItemCount();
    QTreeWidgetItem* next = nullptr;
    if (remaining > 0) {
        next = list_->topLevelItem(std::min(firstPosition, remaining - 1));
        list_->setCurrentItem(next, 0, kSelectOnly);
    }
    selfSelecting_ = wasSelfSelecting;
    SelectResult(ResultOf(next));
}

void ResultsView::ClearAll() {
    if (!desktop_.Confirm(ToQString(messages_.sDeleteAllResult))) return;
    results_.Clear();
    LoadResultToListView();
    SelectResult(nullptr);
}

} // namespace tesseron
