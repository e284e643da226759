#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tesseron {

// What a language file can assign to.
enum class PropertyKind {
    None,    // no such property (or one of a kind language files do not set)
    Integer, // 32- or 64-bit
    Float,
    Text,
    StringList, // items given as one separated list
    Object,     // holds an object with properties of its own (e.g. Font)
};

// A form, a component on it, or an object held in one of their properties, as the
// language-file translation sees it. Names compare without regard to case. The core
// implements translation over this interface; the GUI realises it over Qt objects.
class TranslationTarget {
public:
    virtual ~TranslationTarget() = default;

    // The class name of a form ("TTesseronForm"); other objects may return "".
    virtual std::string ClassName() const = 0;
    // A component of this form by name, or nullptr.
    virtual std::unique_ptr<TranslationTarget> FindComponent(std::string_view name) = 0;
    virtual PropertyKind KindOf(std::string_view property) const = 0;
    // The object held in an Object property, or nullptr.
    virtual std::unique_ptr<TranslationTarget> SubObject(std::string_view property) = 0;

    virtual void SetInteger(std::string_view property, int64_t value) = 0;
    virtual void SetFloat(std::string_view property, double value) = 0;
    virtual void SetText(std::string_view property, const std::string& value) = 0;
    // Throws when the property cannot take a list of strings.
    virtual void SetStringList(std::string_view property,
                               const std::vector<std::string>& items) = 0;
};

} // namespace tesseron
