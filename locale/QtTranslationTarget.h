#pragma once

#include "locale/TranslationTarget.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QTranslator>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QObject;
class QWidget;

namespace tesseron {

class TLangChanger;

// A form, or a component of one, as language files address it. Besides the object's own
// Qt properties (meta-object and dynamic, by name without regard to case) it knows the
// names the language files use for each kind of widget:
//   Caption  window title of a form; text of a label, button, check/radio box or action;
//            title of a menu or group box; the tab's text of a page in a QTabWidget
//   Hint     tool tip and status tip ("short|long" gives the tip the short part and the
//            status tip the long one, as language files written for hints expect)
//   Text     plain text of a QPlainTextEdit/QTextEdit, current text of a QComboBox
//   Items    items of a QComboBox or QListWidget; Lines: lines of a QPlainTextEdit/QTextEdit
//   Font     any QFont property, reached as an object with Name (family) and Size (points)
// The object is watched: once it is destroyed every property reads as None.
class QtTranslationTarget final : public TranslationTarget {
public:
    explicit QtTranslationTarget(QObject* object);

    // The meta-object's class name without namespaces ("TdlgOptions"), unless the object
    // carries a "translationClass" property naming the class its language keys use.
    std::string ClassName() const override;
    // Searches every descendant (menus and actions included) but not other forms that
    // happen to be children, such as a dialog parented to the main window.
    std::unique_ptr<TranslationTarget> FindComponent(std::string_view name) override;
    PropertyKind KindOf(std::string_view property) const override;
    std::unique_ptr<TranslationTarget> SubObject(std::string_view property) override;

    // A value out of the property's range leaves it unchanged, as a text that is no
    // number does; assigning to a property of another kind throws std::runtime_error.
    void SetInteger(std::string_view property, int64_t value) override;
    void SetFloat(std::string_view property, double value) override;
    // CR LF line breaks become Qt's "\n".
    void SetText(std::string_view property, const std::string& value) override;
    void SetStringList(std::string_view property, const std::vector<std::string>& items) override;

    QObject* object() const { return object_; }

private:
    QPointer<QObject> object_;
};

// The application's forms that exist now, shown or hidden: top-level QMainWindows and
// QDialogs (popups, tool tips and menus excluded). A form hidden in the tray is still
// open and must follow a language change. Qt keeps no creation order for top-level
// widgets, so the active window comes first and the rest are sorted by class and object
// name, which keeps the order stable from one call to the next.
QList<QWidget*> OpenForms();
std::vector<std::unique_ptr<TranslationTarget>> OpenFormTargets();

// Qt's own texts (standard buttons of message boxes, the file dialog, the edit menus of
// text fields) in the language of the language file. A key "Qt.<context>.<text>" of its
// section Translations gives the text Qt asks for in that context, with a line break of
// the text written as {ENTER}: "Qt.QPlatformTheme.&Yes=&Да". Texts the file does not
// name stay as Qt has them.
class LanguageFileTranslator final : public QTranslator {
public:
    using QTranslator::QTranslator;

    // Takes the texts of the changer's current file (none without a file). Install the
    // translator again afterwards so that open windows hear of the change.
    void Load(const TLangChanger& changer);

    QString translate(const char* context, const char* sourceText,
                      const char* disambiguation = nullptr, int n = -1) const override;
    bool isEmpty() const override { return texts_.isEmpty(); }

private:
    QHash<QString, QString> texts_; // "context.text", in lower case, to the translation
};

} // namespace tesseron
