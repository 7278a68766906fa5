#pragma once

// Qt's own texts that Debian's Brazilian Portuguese catalogue (qtbase_pt_BR) lacks, in
// Portuguese: the type names the file dialogs show for folders, drives and the like (Qt's
// context QAbstractFileIconProvider). Installed after the catalogue, so it is asked first and
// leaves every other text to it.

#include <QTranslator>

namespace blapp {

class QtTextsTranslator : public QTranslator
{
    Q_OBJECT
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }
};

} // namespace blapp
