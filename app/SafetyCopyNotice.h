#pragma once

// The program's word when the day's safety copy of the register could not be made.

class TDM_BL;
class TF_Principal;

namespace blapp {

// Shows the data module's notice through the entry window's message dialog, once the change
// that asked for the copy has gone through (a warning with one OK button).
void installSafetyCopyNotice(TDM_BL &dataModule, TF_Principal &window);

} // namespace blapp
