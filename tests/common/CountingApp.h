#pragma once

// The program's application object, counting what reaches the event loop: the application
// catches nothing, so an error thrown through Qt would end here.

#include "BLApplication.h"

#include <QCoreApplication>

namespace errorboxtest {

class CountingApp : public BLApplication
{
public:
    using BLApplication::BLApplication;
    int escaped = 0;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return BLApplication::notify(receiver, event);
        } catch (...) {
            ++escaped;
            return true;
        }
    }
};

inline int escaped()
{
    return static_cast<CountingApp *>(qApp)->escaped;
}

} // namespace errorboxtest
