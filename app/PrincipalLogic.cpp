#include "PrincipalLogic.h"

namespace principal {

QString modeText(Mode mode)
{
    switch (mode) {
    case Mode::Browse: return QStringLiteral("Visualizar");
    case Mode::Insert: return QStringLiteral("Inclusão");
    case Mode::Edit: return QStringLiteral("Editar");
    }
    return {};
}

ButtonPattern buttonPattern(Mode mode)
{
    const bool browse = mode == Mode::Browse;
    return {browse, browse, !browse, !browse, browse, browse, true, browse, true};
}

CloseCheck closeCheck(Table::State state)
{
    CloseCheck c;
    switch (state) {
    case Table::State::Browse:
        c.endProgram = true;
        c.closeTable = true;
        break;
    case Table::State::Insert:
        c.message = QStringLiteral("Novo BL não foi gravado.\rConfirme ou Cancele esta inclusão.");
        c.type = mtConfirmation;
        break;
    case Table::State::Edit:
        c.message = QStringLiteral("Edição deste BL não foi gravada.\rConfirme ou Cancele esta inclusão.");
        c.type = mtInformation;
        break;
    case Table::State::Inactive:
        // The register never opened: nothing to save, so the program may end.
        c.endProgram = true;
        break;
    }
    return c;
}

QStringList copiedFields()
{
    QStringList names;
    for (const char *group : {"Bl_Shipper", "Bl_Cnee", "Bl_Notify"})
        for (int i = 1; i <= 5; ++i)
            names.append(QLatin1String(group) + QString::number(i));
    for (const char *name : {"Bl_LocalVessel", "Bl_PortDischarg", "Bl_FreightPayable", "Bl_LocalLoading",
                             "Bl_FinalDestination", "Bl_Marks1", "Bl_Marks2", "Bl_Gross2", "Bl_Gross4",
                             "Bl_Measu2"})
        names.append(QLatin1String(name));
    return names;
}

QString bookingMissingMessage()
{
    return QStringLiteral("Cadastre Número da Reserva.");
}

} // namespace principal
