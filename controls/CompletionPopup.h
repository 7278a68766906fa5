#pragma once

// A list of earlier values under a one-line edit while the user types in it. It watches the
// edit through an event filter and never takes the focus: the edit keeps it, so nothing is
// written back behind the user's back and Tab goes on as before. Down and Up move through
// the list, Enter or a click chooses, Escape closes the list only, and typing on asks for the
// list again (it closes when nothing matches). Nothing is offered while the edit is read
// only. What a choice does is the owner's: the list only hands over the chosen entry.

#include <QListWidget>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QEvent;
class QLineEdit;

namespace completion {

// The values a one-line edit offers, from the values an earlier record held (most recent
// first): upper-cased when the edit upper-cases what is typed, without those longer than its
// limit (0: none), each once, and not at all when the one left is what was typed.
QStringList offeredValues(const QStringList &values, const QString &typed, int limit, bool upper);

} // namespace completion

class TCompletionPopup : public QObject
{
    Q_OBJECT
public:
    // The entries matching the typed text, each as its lines; the list shows the first
    // shownLines of each. May throw a DataError, shown in the standard error box.
    using Provider = std::function<QList<QStringList>(const QString &typed)>;
    // Called with the chosen entry, after the list has closed.
    using Chooser = std::function<void(const QStringList &entry)>;

    TCompletionPopup(QLineEdit *edit, int shownLines, Provider provider, Chooser chooser);
    ~TCompletionPopup() override;

    QLineEdit *edit() const { return m_edit; }
    // The list window, gone with the edit; hidden while nothing is offered.
    QListWidget *list() const { return m_list; }
    bool isShown() const;
    // The entries the list shows, in its order.
    const QList<QStringList> &entries() const { return m_entries; }

    // Asks the provider again for the edit's text and shows what it answers.
    void refresh();
    void close();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKey(QEvent *event);
    void choose(int row);
    void place();

    QLineEdit *m_edit;
    int m_shownLines;
    Provider m_provider;
    Chooser m_chooser;
    QPointer<QListWidget> m_list;
    QList<QStringList> m_entries;
};
