// The language-file reader and the message formatter. The input is a language file: it is
// tidied (the tidied text must be tidy), read through the changer, and each message text it
// gives is checked and formatted with a UTF-8 argument.

#include "desktop/TextUtil.h"
#include "locale/LangChanger.h"
#include "locale/Language.h"
#include "locale/TextFormat.h"
#include "tests/fuzz/FuzzInput.h"

using namespace tesseron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const std::string tidy = NormaliseLanguageText(in);
    FUZZ_CHECK(NormaliseLanguageText(tidy) == tidy);

    static const fuzz::ScratchFile scratch("language.lng");
    const auto& path = scratch.path;
    fuzz::WriteScratch(path, in);
    TLangChanger changer;
    changer.SetLangFile(path.string());
    std::vector<std::string> keys;
    changer.ReadSectionKeys(TLangChanger::kSection, keys);
    for (std::size_t i = 0; i < keys.size() && i < 64; ++i) {
        const auto text = changer.TranslateString(keys[i]);
        (void)changer.BuildList(text);
        (void)Format(text, "пример.рф %s %%");
        try {
            CheckArgumentText(text);
        } catch (const FormatError&) {
        }
    }
    for (const auto& k : MessageKeys())
        (void)Format(changer.TranslateString(std::string(k.key)), "example.com");
    // The formatter on the raw text too, with the first line as the argument.
    const auto [argument, text] = fuzz::SplitFirstLine(in);
    (void)Format(text, argument);
    return 0;
}
