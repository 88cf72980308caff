// Shows a settings list in a QComboBox and hands the user's choices back to it.
#pragma once

class QComboBox;

namespace vx {

class TSettingsList;

// From now on the combo box shows AList's items, selection and drop-down length, and a choice the
// user makes in it selects that position in AList. Handlers connected to the combo box's
// activated() after this call see AList already updated. The binding ends when either side is
// destroyed.
void BindComboBox(QComboBox* ACombo, TSettingsList* AList);

} // namespace vx
