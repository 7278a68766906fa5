#include "CompletionPopup.h"

#include "DBControls.h"
#include "ErrorBox.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSet>

namespace completion {

QStringList offeredValues(const QStringList &values, const QString &typed, int limit, bool upper)
{
    QStringList out;
    QSet<QString> seen;
    for (const QString &v : values) {
        // The same capitals the edit gives typed text.
        const QString shown = upper ? dbcontrols::upperCased(v) : v;
        if ((limit > 0 && shown.size() > limit) || seen.contains(shown))
            continue;
        seen.insert(shown);
        out.append(shown);
    }
    if (out.size() == 1 && out.first() == typed)
        out.clear();
    return out;
}

} // namespace completion

namespace {

constexpr int MaxRows = 8;
constexpr int MinWidth = 160;

} // namespace

TCompletionPopup::TCompletionPopup(QLineEdit *edit, int shownLines, Provider provider, Chooser chooser)
    : QObject(edit), m_edit(edit), m_shownLines(std::max(1, shownLines)), m_provider(std::move(provider)),
      m_chooser(std::move(chooser))
{
    // A child of the edit's window laid over its other controls, not a window of its own: it
    // never takes the focus or the activation, so the edit keeps both while the list is up.
    // Not a child of the edit, whose style sheet would reach it.
    m_list = new QListWidget(edit->window());
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->viewport()->setFocusPolicy(Qt::NoFocus);
    m_list->setFrameShape(QFrame::Box);
    m_list->setLineWidth(1);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(true);
    // Two-line parties read apart more easily.
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMouseTracking(true);
    m_list->hide();

    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        const int row = m_list->row(item);
        auto pick = [&] { choose(row); };
        blapp::runGuarded(pick);
    });
    blapp::connectAction(m_edit, &QLineEdit::textEdited, this, [this] { refresh(); });
    m_edit->installEventFilter(this);
    if (QWidget *w = m_edit->window(); w != m_edit)
        w->installEventFilter(this);
}

TCompletionPopup::~TCompletionPopup()
{
    delete m_list.data();
}

bool TCompletionPopup::isShown() const
{
    return m_list->isVisible();
}

void TCompletionPopup::close()
{
    m_list->hide();
    m_list->clear();
    m_entries.clear();
}

void TCompletionPopup::refresh()
{
    const QString typed = m_edit->text();
    if (m_edit->isReadOnly() || !m_edit->isEnabled() || typed.isEmpty()) {
        close();
        return;
    }
    QList<QStringList> entries = m_provider(typed);
    if (entries.isEmpty()) {
        close();
        return;
    }
    m_entries = std::move(entries);
    m_list->clear();
    for (const QStringList &e : std::as_const(m_entries))
        m_list->addItem(e.mid(0, m_shownLines).join(QLatin1Char('\n')));
    m_list->setCurrentRow(-1);
    m_list->setFont(m_edit->font());
    m_list->setPalette(m_edit->palette());
    place();
    m_list->show();
    m_list->raise();
}

void TCompletionPopup::place()
{
    QWidget *win = m_list->parentWidget();
    const int rows = std::min<int>(MaxRows, m_list->count());
    const int rowHeight = std::max(1, m_list->sizeHintForRow(0));
    const int frame = 2 * m_list->frameWidth();
    const QSize size(std::min(std::max(m_edit->width(), MinWidth), win->width()), rows * rowHeight + frame);
    QPoint pos = m_edit->mapTo(win, QPoint(0, m_edit->height()));
    // Above the edit when the window ends below it.
    if (pos.y() + size.height() > win->height())
        pos.setY(std::max(0, m_edit->mapTo(win, QPoint(0, 0)).y() - size.height()));
    pos.setX(std::max(0, std::min(pos.x(), win->width() - size.width())));
    m_list->setGeometry(QRect(pos, size));
}

void TCompletionPopup::choose(int row)
{
    if (row < 0 || row >= m_entries.size())
        return;
    const QStringList entry = m_entries.at(row);
    close();
    m_chooser(entry);
}

bool TCompletionPopup::handleKey(QEvent *event)
{
    auto *k = static_cast<QKeyEvent *>(event);
    const bool plain = (k->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!isShown()) {
        // Down on a typed text brings the list back.
        if (k->key() == Qt::Key_Down && plain && !m_edit->isReadOnly() && !m_edit->text().isEmpty()) {
            auto ask = [this] { refresh(); };
            blapp::runGuardedLater(ask);
            if (isShown()) {
                m_list->setCurrentRow(0);
                return true;
            }
        }
        return false;
    }
    const int count = m_list->count();
    const int current = m_list->currentRow();
    switch (k->key()) {
    case Qt::Key_Down:
        m_list->setCurrentRow(std::min(count - 1, current + 1));
        return true;
    case Qt::Key_Up:
        m_list->setCurrentRow(current - 1);  // above the first row: none chosen
        return true;
    case Qt::Key_PageDown:
        m_list->setCurrentRow(std::min(count - 1, std::max(0, current) + MaxRows));
        return true;
    case Qt::Key_PageUp:
        m_list->setCurrentRow(std::max(0, current - MaxRows));
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (current >= 0) {
            auto pick = [&] { choose(current); };
            blapp::runGuardedLater(pick);
            return true;
        }
        close();
        return false;
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        close();
        return false;
    default:
        return false;
    }
}

bool TCompletionPopup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit) {
        switch (event->type()) {
        case QEvent::ShortcutOverride: {
            // While the list is up its keys belong to it, not to a shortcut of the window.
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (isShown() && (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)) {
                event->accept();
                return true;
            }
            break;
        }
        case QEvent::KeyPress:
            return handleKey(event);
        case QEvent::FocusOut:
        case QEvent::Hide:
        case QEvent::ReadOnlyChange:
        case QEvent::EnabledChange:
            close();
            break;
        default:
            break;
        }
    } else if (isShown()) {
        switch (event->type()) {
        case QEvent::Hide:
        case QEvent::WindowDeactivate:
            close();
            break;
        default:
            break;
        }
    }
    return false;
}
