#pragma once

// The entry window's decisions, apart from the window: the mode shown in the status bar,
// which toolbar buttons each mode enables, and what the close check does in each state.

#include "MsgDlg.h"
#include "Table.h"

#include <QString>
#include <QStringList>

namespace principal {

enum class Mode { Browse, Insert, Edit };

// Panel 5 of the status bar: "Visualizar", "Inclusão", "Editar".
QString modeText(Mode mode);

struct ButtonPattern
{
    bool inclusao, edit, grava, cancela, procura, disquete, calendario, impressao, fechar;
};
ButtonPattern buttonPattern(Mode mode);

// The close check VerificaEncerramento: in browse state (and when the register never
// opened) the program ends; while a B/L is being entered or edited it says so and stays.
struct CloseCheck
{
    bool endProgram = false;
    bool closeTable = false;
    QString message;                  // shown through MsgDlg1 when not empty
    TMsgDlgType type = mtInformation;
};
CloseCheck closeCheck(Table::State state);

// "Novo a partir deste B/L": the register fields a new B/L takes from the current one (the
// parties, ports, vessel, freight place, destination, units and both memos). The booking
// number, the B/L number, the shipper's reference, the weights, the measurement and the
// date stay empty.
QStringList copiedFields();

// The texts of the entry window.
QString bookingMissingMessage();

} // namespace principal
