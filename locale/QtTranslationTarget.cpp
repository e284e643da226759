#include "locale/QtTranslationTarget.h"

#include "desktop/QtText.h"
#include "locale/LangChanger.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextEdit>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

namespace tesseron {
namespace {

// Language files break lines with CR LF; Qt widgets would show the CR.
QString QtText(const std::string& text) {
    return ToQString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

bool SameName(const QString& a, const char* b) {
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

std::string ClassNameOf(const QObject* object) {
    const QString declared = object->property("translationClass").toString();
    if (!declared.isEmpty()) return ToStdString(declared);
    const std::string_view full = object->metaObject()->className();
    const size_t colons = full.rfind("::");
    return std::string(colons == std::string_view::npos ? full : full.substr(colons + 2));
}

// A top-level window of its own, as opposed to a popup or tool window belonging to a form.
bool IsForm(const QWidget* widget) {
    const Qt::WindowType type = widget->windowType();
    return widget->isWindow() && (type == Qt::Window || type == Qt::Dialog);
}

QObject* FindDescendant(const QObject* parent, const QString& name) {
    for (QObject* child : parent->children()) {
        if (auto* widget = qobject_cast<QWidget*>(child); widget && IsForm(widget)) continue;
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0) return child;
        if (QObject* found = FindDescendant(child, name)) return found;
    }
    return nullptr;
}

// The tab widget showing `page` as one of its tabs (pages sit in its internal stack).
QTabWidget* TabsOf(QWidget* page) {
    QWidget* stack = page->parentWidget();
    auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    return tabs && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

enum class Special { None, TabText, Hint, Items, Lines };

// How a property name is realised on one object.
struct Binding {
    PropertyKind kind = PropertyKind::None;
    Special special = Special::None;
    QByteArray qtName; // the Qt property, when not special
    int typeId = QMetaType::UnknownType;
};

Binding Typed(QMetaType type, QByteArray qtName) {
    Binding binding{PropertyKind::None, Special::None, std::move(qtName), type.id()};
    switch (type.id()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        binding.kind = PropertyKind::Integer;
        break;
    case QMetaType::Float:
    case QMetaType::Double:
        binding.kind = PropertyKind::Float;
        break;
    case QMetaType::QString:
        binding.kind = PropertyKind::Text;
        break;
    case QMetaType::QStringList:
        binding.kind = PropertyKind::StringList;
        break;
    case QMetaType::QFont:
        binding.kind = PropertyKind::Object;
        break;
    default:
        break;
    }
    return binding;
}

Binding QtProperty(const QObject* object, const QString& name) {
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!SameName(name, property.name())) continue;
        if (!property.isWritable() || property.isEnumType()) return {};
        return Typed(property.metaType(), property.name());
    }
    for (const QByteArray& dynamic : object->dynamicPropertyNames()) {
        if (name.compare(QString::fromUtf8(dynamic), Qt::CaseInsensitive) == 0)
            return Typed(object->property(dynamic).metaType(), dynamic);
    }
    return {};
}

Binding Text(const char* qtName) {
    return {PropertyKind::Text, Special::None, qtName, QMetaType::QString};
}

// The names language files use, mapped onto each kind of widget; anything else is a Qt
// property of the object.
Binding Resolve(QObject* object, std::string_view property) {
    const QString name = ToQString(property);
    auto* widget = qobject_cast<QWidget*>(object);
    const bool editor = qobject_cast<QPlainTextEdit*>(object) || qobject_cast<QTextEdit*>(object);
    const bool itemList = qobject_cast<QComboBox*>(object) || qobject_cast<QListWidget*>(object);
    if (SameName(name, "Caption")) {
        if (qobject_cast<QAbstractButton*>(object) || qobject_cast<QLabel*>(object) ||
            qobject_cast<QAction*>(object))
            return Text("text");
        if (qobject_cast<QMenu*>(object) || qobject_cast<QGroupBox*>(object)) return Text("title");
        if (widget && TabsOf(widget)) return {PropertyKind::Text, Special::TabText, {}, 0};
        if (widget && widget->isWindow()) return Text("windowTitle");
    } else if (SameName(name, "Hint")) {
        if (widget || qobject_cast<QAction*>(object))
            return {PropertyKind::Text, Special::Hint, {}, 0};
    } else if (SameName(name, "Items")) {
        if (itemList) return {PropertyKind::StringList, Special::Items, {}, 0};
    } else if (SameName(name, "Lines")) {
        if (editor) return {PropertyKind::StringList, Special::Lines, {}, 0};
    } else if (SameName(name, "Text")) {
        if (editor) return Text("plainText");
        if (qobject_cast<QComboBox*>(object)) return Text("currentText");
    }
    return QtProperty(object, name);
}

template <typename T> bool InRange(int64_t value) {
    return std::in_range<T>(value);
}

bool FitsType(int typeId, int64_t value) {
    switch (typeId) {
    case QMetaType::Short:
        return InRange<short>(value);
    case QMetaType::UShort:
        return InRange<unsigned short>(value);
    case QMetaType::Int:
        return InRange<int>(value);
    case QMetaType::UInt:
        return InRange<unsigned int>(value);
    case QMetaType::Long:
        return InRange<long>(value);
    case QMetaType::ULong:
        return InRange<unsigned long>(value);
    case QMetaType::ULongLong:
        return value >= 0;
    default:
        return true;
    }
}

[[noreturn]] void Refuse(const QObject* object, std::string_view property, const char* what) {
    const QString owner = object->objectName().isEmpty()
                              ? QString::fromStdString(ClassNameOf(object))
                              : object->objectName();
    throw std::runtime_error("The property \"" + std::string(property) + "\" of \"" +
                             ToStdString(owner) + "\" cannot take " + what + ".");
}

// Writes `value` converted to the property's own type, so an int property gets an int.
void Write(QObject* object, const Binding& binding, QVariant value) {
    if (binding.typeId != QMetaType::UnknownType) value.convert(QMetaType(binding.typeId));
    object->setProperty(binding.qtName.constData(), value);
}

void SetItems(QObject* object, const QStringList& items) {
    if (auto* box = qobject_cast<QComboBox*>(object)) {
        const int current = box->currentIndex();
        box->clear();
        box->addItems(items);
        if (current >= 0 && current < box->count()) box->setCurrentIndex(current);
    } else if (auto* list = qobject_cast<QListWidget*>(object)) {
        const int current = list->currentRow();
        list->clear();
        list->addItems(items);
        if (current >= 0 && current < list->count()) list->setCurrentRow(current);
    }
}

// A QFont property of a widget or action, as an object with a Name and a Size.
class FontTarget final : public TranslationTarget {
public:
    FontTarget(QObject* owner, QByteArray property)
        : owner_(owner), property_(std::move(property)) {}

    std::string ClassName() const override { return {}; }
    std::unique_ptr<TranslationTarget> FindComponent(std::string_view) override { return nullptr; }
    std::unique_ptr<TranslationTarget> SubObject(std::string_view) override { return nullptr; }

    PropertyKind KindOf(std::string_view property) const override {
        const QString name = ToQString(property);
        if (!owner_) return PropertyKind::None;
        if (SameName(name, "Name")) return PropertyKind::Text;
        if (SameName(name, "Size")) return PropertyKind::Integer;
        return PropertyKind::None;
    }

    void SetInteger(std::string_view property, int64_t value) override {
        Require(property, PropertyKind::Integer, "a whole number");
        if (value <= 0 || !std::in_range<int>(value)) return; // Qt takes positive sizes only
        QFont font = Font();
        font.setPointSize(static_cast<int>(value));
        owner_->setProperty(property_.constData(), font);
    }
    void SetFloat(std::string_view property, double) override {
        Require(property, PropertyKind::Float, "a number");
    }
    void SetText(std::string_view property, const std::string& value) override {
        Require(property, PropertyKind::Text, "a text");
        QFont font = Font();
        font.setFamily(ToQString(value));
        owner_->setProperty(property_.constData(), font);
    }
    void SetStringList(std::string_view property, const std::vector<std::string>&) override {
        Require(property, PropertyKind::StringList, "a list of texts");
    }

private:
    QFont Font() const { return owner_->property(property_.constData()).value<QFont>(); }
    void Require(std::string_view property, PropertyKind kind, const char* what) const {
        if (KindOf(property) == kind) return;
        throw std::runtime_error("The property \"" + ToStdString(QString::fromLatin1(property_)) +
                                 "." + std::string(property) + "\" cannot take " + what + ".");
    }

    QPointer<QObject> owner_;
    QByteArray property_;
};

} // namespace

QtTranslationTarget::QtTranslationTarget(QObject* object) : object_(object) {}

std::string QtTranslationTarget::ClassName() const {
    return object_ ? ClassNameOf(object_) : std::string();
}

std::unique_ptr<TranslationTarget> QtTranslationTarget::FindComponent(std::string_view name) {
    if (!object_ || name.empty()) return nullptr;
    QObject* found = FindDescendant(object_, ToQString(name));
    return found ? std::make_unique<QtTranslationTarget>(found) : nullptr;
}

PropertyKind QtTranslationTarget::KindOf(std::string_view property) const {
    return object_ ? Resolve(object_, property).kind : PropertyKind::None;
}

std::unique_ptr<TranslationTarget> QtTranslationTarget::SubObject(std::string_view property) {
    if (!object_) return nullptr;
    const Binding binding = Resolve(object_, property);
    if (binding.kind != PropertyKind::Object) return nullptr;
    return std::make_unique<FontTarget>(object_, binding.qtName);
}

void QtTranslationTarget::SetInteger(std::string_view property, int64_t value) {
    if (!object_) return;
    const Binding binding = Resolve(object_, property);
    if (binding.kind != PropertyKind::Integer) Refuse(object_, property, "a whole number");
    if (FitsType(binding.typeId, value)) Write(object_, binding, QVariant::fromValue(value));
}

void QtTranslationTarget::SetFloat(std::string_view property, double value) {
    if (!object_) return;
    const Binding binding = Resolve(object_, property);
    if (binding.kind != PropertyKind::Float) Refuse(object_, property, "a number");
    if (!std::isfinite(value)) return;
    if (binding.typeId == QMetaType::Float && std::abs(value) > std::numeric_limits<float>::max())
        return;
    Write(object_, binding, QVariant(value));
}

void QtTranslationTarget::SetText(std::string_view property, const std::string& value) {
    if (!object_) return;
    const Binding binding = Resolve(object_, property);
    if (binding.kind != PropertyKind::Text) Refuse(object_, property, "a text");
    const QString text = QtText(value);
    switch (binding.special) {
    case Special::Hint: {
        // "short|long": the tip shows the short part, the status bar the long one.
        const qsizetype bar = text.indexOf(QLatin1Char('|'));
        object_->setProperty("toolTip", bar < 0 ? text : text.left(bar));
        object_->setProperty("statusTip", bar < 0 ? text : text.mid(bar + 1));
        break;
    }
    case Special::TabText: {
        auto* page = qobject_cast<QWidget*>(object_.data());
        if (QTabWidget* tabs = TabsOf(page)) tabs->setTabText(tabs->indexOf(page), text);
        break;
    }
    default:
        Write(object_, binding, text);
    }
}

void QtTranslationTarget::SetStringList(std::string_view property,
                                        const std::vector<std::string>& items) {
    if (!object_) return;
    const Binding binding = Resolve(object_, property);
    if (binding.kind != PropertyKind::StringList) Refuse(object_, property, "a list of texts");
    QStringList list;
    for (const std::string& item : items)
        list.append(QtText(item));
    if (binding.special == Special::Items) {
        SetItems(object_, list);
    } else if (binding.special == Special::Lines) {
        object_->setProperty("plainText", list.join(QLatin1Char('\n')));
    } else {
        Write(object_, binding, list);
    }
}

QList<QWidget*> OpenForms() {
    QList<QWidget*> forms;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (IsForm(widget) &&
            (qobject_cast<QMainWindow*>(widget) || qobject_cast<QDialog*>(widget)))
            forms.append(widget);
    }
    const QWidget* active = QApplication::activeWindow();
    auto key = [](const QWidget* form) {
        return std::pair(ClassNameOf(form), ToStdString(form->objectName()));
    };
    std::stable_sort(forms.begin(), forms.end(), [&](const QWidget* a, const QWidget* b) {
        if ((a == active) != (b == active)) return a == active;
        return key(a) < key(b);
    });
    return forms;
}

std::vector<std::unique_ptr<TranslationTarget>> OpenFormTargets() {
    std::vector<std::unique_ptr<TranslationTarget>> targets;
    for (QWidget* form : OpenForms())
        targets.push_back(std::make_unique<QtTranslationTarget>(form));
    return targets;
}

namespace {

constexpr QLatin1String kQtKeyPrefix("Qt.");

// Keys match without regard to case, as the language file's keys do.
QString QtTextKey(QString contextAndText) {
    return contextAndText
        .replace(QLatin1String("{ENTER}"), QLatin1String("\n"), Qt::CaseInsensitive)
        .toLower();
}

} // namespace

void LanguageFileTranslator::Load(const TLangChanger& changer) {
    texts_.clear();
    std::vector<std::string> keys;
    changer.ReadSectionKeys(TLangChanger::kSection, keys);
    for (const std::string& key : keys) {
        const QString name = ToQString(key);
        if (!name.startsWith(kQtKeyPrefix, Qt::CaseInsensitive)) continue;
        const QString lookup = QtTextKey(name.mid(kQtKeyPrefix.size()));
        if (!texts_.contains(lookup)) texts_.insert(lookup, QtText(changer.TranslateString(key)));
    }
}

QString LanguageFileTranslator::translate(const char* context, const char* sourceText, const char*,
                                          int) const {
    if (texts_.isEmpty() || !context || !sourceText) return {};
    const QString key =
        (QString::fromUtf8(context) + QLatin1Char('.') + QString::fromUtf8(sourceText)).toLower();
    return texts_.value(key);
}

} // namespace tesseron
