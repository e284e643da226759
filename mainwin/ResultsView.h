#pragma once

#include "locale/Language.h"
#include "serverdb/uWhoisResultList.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QItemSelection;
class QStatusBar;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace tesseron {

class DesktopServices;
class StatusPanels;

// Text for the answer pane: the bytes read in the server's character set when the list
// knows one, else as UTF-8 when they are valid UTF-8, else as Windows-1252 with its five
// unassigned bytes kept as the C1 controls of the same value, so nothing is lost or merged.
QString DecodeAnswer(const std::string& bytes, const std::string& charset = {});

// The main window's view of the result store: the results list, the answer pane and the
// status bar, with the actions that work on them. It owns no widget; the window does.
class ResultsView final : public QObject {
    Q_OBJECT

public:
    // Questions, file names, errors and the browser go through `desktop`.
    ResultsView(QTreeWidget* lvResults, QTextEdit* richEdit1, QStatusBar* statusBar1,
                TWhoisResultCollection& results, const MessageTable& messages,
                DesktopServices& desktop, QObject* parent);

    // Rebuilds the list from the store, newest on top. No row is selected afterwards and
    // the current result stays as it was.
    void LoadResultToListView();
    // The character set of the server a result names ("" when the list knows none).
    void SetCharsetLookup(std::function<std::string(const std::string& serverName)> lookup) {
        charsetOf_ = std::move(lookup);
    }
    // Makes `item` current (nullptr: none), shows it and repaints the status bar.
    void SelectResult(tesseron::TWhoisResultItem* item);
    tesseron::TWhoisResultItem* CurrentResult() const; // nullptr once deleted
    void ShowAnswerInBrowser(tesseron::TWhoisResultItem* item);
    // Column captions and row tool tips follow the current message texts.
    void SetResultColumnCaptions();
    void SetCounts(int zones, int servers); // status panels 5 and 6
    void RepaintStatusBar();
    std::vector<tesseron::ResultId> SelectedTopToBottom() const;
    bool HasAnswerLines() const; // answer pane holds at least one line
    bool HasAnswerSelection() const;
    bool HasSelectedRows() const;

    void SaveToFile();
    void CopyToBuffer();
    void SelectAll();
    void Print();
    void OpenInBrowser();
    void DeleteSelected();
    void ClearAll();
    // The five-line tool tip of a row, as shown when the mouse rests on it.
    QString ToolTipOf(const QTreeWidgetItem* row) const;

signals:
    // SelectResult made a result current: its query text belongs in the address box.
    void addressChosen(const QString& queryText);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<std::string(const std::string&)> charsetOf_;
    TWhoisResultItem* ResultOf(const QTreeWidgetItem* row) const;
    QString RowToolTip(const TWhoisResultItem& result) const;
    QString Message(const std::string& text, const std::string& argument) const;
    void OnSelectionChanged(const QItemSelection& selected);
    // Lets the list handle a mouse event first, then applies the view's own rules.
    bool AfterListHandled(QObject* viewport, QEvent* event);
    void SelectOldestIfNoneSelected();
    void FitDateColumn();

    QTreeWidget* list_;
    QTextEdit* pane_;
    StatusPanels* panels_;
    TWhoisResultCollection& results_;
    const MessageTable& messages_;
    DesktopServices& desktop_;
    QIcon resultIcon_;
    std::optional<ResultId> current_;
    int dateWidth_ = 0; // of the widest date in the list
    int zones_ = 0;
    int servers_ = 0;
    bool selfSelecting_ = false; // selection changes made by the view itself are not the user's
    bool forwarding_ = false;    // a mouse event is being handed to the list
};

} // namespace tesseron

// The window's classes live in the global namespace and name this one unqualified.
using tesseron::ResultsView;
