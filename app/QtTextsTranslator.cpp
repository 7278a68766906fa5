#include "QtTextsTranslator.h"

#include <cstring>

namespace blapp {

namespace {

struct Text
{
    const char *context;
    const char *source;
    const char *portuguese;
};

// Every type name of that context across Qt's platforms, so none shows in English.
constexpr Text Texts[] = {
    {"QAbstractFileIconProvider", "Folder", "Pasta"},
    {"QAbstractFileIconProvider", "File Folder", "Pasta"},
    {"QAbstractFileIconProvider", "Drive", "Unidade"},
    {"QAbstractFileIconProvider", "File", "Arquivo"},
    {"QAbstractFileIconProvider", "Shortcut", "Atalho"},
    {"QAbstractFileIconProvider", "Alias", "Atalho"},
    {"QAbstractFileIconProvider", "Unknown", "Desconhecido"},
};

} // namespace

QString QtTextsTranslator::translate(const char *context, const char *sourceText, const char *, int) const
{
    if (!context || !sourceText)
        return {};
    for (const Text &t : Texts)
        if (std::strcmp(context, t.context) == 0 && std::strcmp(sourceText, t.source) == 0)
            return QString::fromUtf8(t.portuguese);
    return {};
}

} // namespace blapp
