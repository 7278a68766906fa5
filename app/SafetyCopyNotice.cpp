#include "SafetyCopyNotice.h"

#include "MsgDlg.h"
#include "U_DM_BL.h"
#include "U_Principal.h"

#include <QPointer>
#include <QTimer>

namespace blapp {

void installSafetyCopyNotice(TDM_BL &dataModule, TF_Principal &window)
{
    QPointer<TF_Principal> w(&window);
    dataModule.safetyCopy().setNotice([w](const QString &message) {
        if (!w)
            return;
        // Told after the change: the copy is asked for in the middle of a post or delete,
        // which must not wait on a dialog.
        QTimer::singleShot(0, w, [w, message] {
            if (w && w->MsgDlg1)
                w->MsgDlg1->DisplayMessage(message, mtWarning, {mbOK});
        });
    });
}

} // namespace blapp
