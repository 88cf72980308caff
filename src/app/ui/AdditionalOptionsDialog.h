// The "Additional Options" dialog: overwrite, processor use (codec threads and how many rows
// convert at once), drop-down length of the format list and the choice between the simple and
// the advanced settings view. Every control acts at once; "Done" only
// hides the dialog, so it is shown without blocking the main window.
#pragma once

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace vx {

class TAdditionalOptions;
class TSettingsStore;

class TAdditionalOptionsDialog : public QDialog {
    Q_OBJECT
public:
    // Loads the settings through AStore (when given) and applies the view choice, as the program's
    // start-up expects from this dialog. AOptions (and AStore) must outlive the dialog.
    TAdditionalOptionsDialog(TAdditionalOptions& AOptions, TSettingsStore* AStore,
                             QWidget* AParent = nullptr);

    QCheckBox* CheckBoxOverWrite = nullptr;
    QCheckBox* CheckBoxAllCores = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QSpinBox* SpinSimultaneous = nullptr;
    QRadioButton* RadioSimple = nullptr;
    QRadioButton* RadioAdvance = nullptr;
    QPushButton* Button1 = nullptr;

private:
    void FormCreate(TSettingsStore* AStore);
    void SpinEdit1Change(int AValue);
    void RadioGroup1Click(int APosition);
    void Button1Click() { hide(); }
    void ShowOptions();

    TAdditionalOptions& FOptions;
    QButtonGroup* RadioGroup1 = nullptr;
};

} // namespace vx
