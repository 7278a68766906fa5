#pragma once

// Shared by the transfer window tests: a register and a data module in a fresh folder, and
// an answerer for the message dialogs that records what they said. Header-only.

#include "BLRecord.h"
#include "ModalHelper.h"
#include "MsgDlg.h"
#include "PxTable.h"
#include "RegisterRows.h"
#include "U_DM_BL.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace transfertest {

using testregister::Row;

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A transfer table pair holding the given rows (by field name).
inline void makeTransfer(const QString &dbPath, const QList<Row> &rows)
{
    const QVector<px::FieldDef> defs = blrecord::transferFields();
    px::Table::create(dbPath, defs);
    px::Table t(dbPath);
    for (const Row &r : rows) {
        QVector<px::Value> values(defs.size());
        for (int i = 0; i < defs.size(); ++i)
            values[i] = r.value(defs.at(i).name);
        t.append(values);
    }
}

// The register in a fresh folder, made current, with the data module over it and the
// register open on its last record, as the entry window leaves it.
struct Session
{
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<TDM_BL> dm;

    explicit Session(const QList<Row> &rows)
    {
        testregister::makeRegister(dir.path(), rows);
        QDir::setCurrent(dir.path());
        dm = std::make_unique<TDM_BL>();
        dm->Tbl_BLCliente->open();
        dm->Tbl_BLCliente->last();
    }
    ~Session()
    {
        dm.reset();
        QDir::setCurrent(previousDir);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString registerPath() const { return testregister::registerPath(dir.path()); }
};

// Runs action once on the first visible modal window of class T that comes up, whatever other
// modal windows come and go before it; gives up after timeoutMs. No fixed sleeps.
template <class T>
std::shared_ptr<bool> whenWindow(std::function<void(T *)> action, int timeoutMs = 10000)
{
    auto acted = std::make_shared<bool>(false);
    auto *timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [=]() {
        auto *w = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!w || !w->isVisible()) {
            if (clock->elapsed() > timeoutMs) {
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        *acted = true;
        action(w);
    });
    timer->start();
    return acted;
}

// Answers every message dialog and standard error box with OK as it appears, and keeps
// what each said.
class Answers : public QObject
{
public:
    QStringList texts;   // the message dialogs' texts
    QStringList errors;  // the error boxes' texts

    Answers()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w || !w->isVisible() || m_done.contains(w))
                return;
            if (w->objectName() == QLatin1String("MsgDlgWindow")) {
                m_done.append(w);
                auto *label = w->findChild<QLabel *>(QStringLiteral("Message"));
                texts << (label ? label->text() : QString());
                if (auto *ok = w->findChild<QPushButton *>(TMsgDlg::buttonName(mbOK)))
                    ok->click();
            } else if (auto *box = qobject_cast<QMessageBox *>(w); box && w->objectName() == QLatin1String("ErrorBox")) {
                m_done.append(w);
                errors << box->text();
                box->accept();
            }
        });
        m_timer.start();
    }

private:
    QList<QPointer<QWidget>> m_done;
    QTimer m_timer;
};

} // namespace transfertest
