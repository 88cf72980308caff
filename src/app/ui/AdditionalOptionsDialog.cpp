#include "AdditionalOptionsDialog.h"

#include "AdditionalOptions.h"
#include "SettingsStore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vx {

TAdditionalOptionsDialog::TAdditionalOptionsDialog(TAdditionalOptions& AOptions, TSettingsStore* AStore,
                                                   QWidget* AParent)
    // Kept above other windows so that it stays in reach while the user works in the main window.
    : QDialog(AParent,
              Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FOptions(AOptions) {
    setObjectName("AdditionalOptions");
    setWindowTitle("Additional Options");
    setModal(false);
    setFixedSize(375, 344);

    auto* options = new QGroupBox(" Additional Options ", this);
    CheckBoxOverWrite = new QCheckBox("Overwrite Existing File With The Same Name", options);
    CheckBoxOverWrite->setObjectName("CheckBoxOverWrite");
    CheckBoxAllCores = new QCheckBox("Use all processor cores", options);
    CheckBoxAllCores->setObjectName("CheckBoxAllCores");
    SpinEdit1 = new QSpinBox(options);
    SpinEdit1->setObjectName("SpinEdit1");
    SpinEdit1->setRange(TAdditionalOptions::MinDropDownItems, TAdditionalOptions::MaxDropDownItems);
    SpinEdit1->setValue(TAdditionalOptions::DefaultDropDownItems);
    auto* spinLabel = new QLabel("Drop Down Items in Output Format List", options);
    spinLabel->setWordWrap(true);
    spinLabel->setBuddy(SpinEdit1);
    auto* spinRow = new QHBoxLayout;
    spinRow->addWidget(SpinEdit1);
    spinRow->addWidget(spinLabel, 1);
    SpinSimultaneous = new QSpinBox(options);
    SpinSimultaneous->setObjectName("SpinSimultaneous");
    SpinSimultaneous->setRange(1, TAdditionalOptions::MaxSimultaneousConversions());
    auto* simultaneousLabel = new QLabel("Simultaneous conversions", options);
    simultaneousLabel->setBuddy(SpinSimultaneous);
    auto* simultaneousRow = new QHBoxLayout;
    simultaneousRow->addWidget(SpinSimultaneous);
    simultaneousRow->addWidget(simultaneousLabel, 1);
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(CheckBoxOverWrite);
    optionsLayout->addWidget(CheckBoxAllCores);
    optionsLayout->addLayout(simultaneousRow);
    optionsLayout->addLayout(spinRow);

    auto* view = new QGroupBox(" Audio and Video Settings ", this);
    view->setObjectName("RadioGroup1");
    RadioSimple = new QRadioButton("Show Simple Audio and Video Settings", view);
    RadioAdvance = new QRadioButton("Show Advance Audio and Video Settings", view);
    RadioGroup1 = new QButtonGroup(this);
    RadioGroup1->addButton(RadioSimple, TAdditionalOptions::SimpleSettings);
    RadioGroup1->addButton(RadioAdvance, TAdditionalOptions::AdvanceSettings);
    RadioSimple->setChecked(true);
    auto* viewLayout = new QVBoxLayout(view);
    viewLayout->addWidget(RadioSimple);
    viewLayout->addWidget(RadioAdvance);

    Button1 = new QPushButton("Done", this);
    Button1->setDefault(true);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(Button1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(options);
    layout->addWidget(view);
    layout->addStretch(1);
    layout->addLayout(buttonRow);

    connect(CheckBoxOverWrite, &QCheckBox::toggled, &FOptions, &TAdditionalOptions::SetOverwrite);
    connect(CheckBoxAllCores, &QCheckBox::toggled, &FOptions, &TAdditionalOptions::SetUseAllCores);
    connect(SpinSimultaneous, &QSpinBox::valueChanged, &FOptions,
            &TAdditionalOptions::SetSimultaneousConversions);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TAdditionalOptionsDialog::SpinEdit1Change);
    connect(RadioGroup1, &QButtonGroup::idClicked, this, &TAdditionalOptionsDialog::RadioGroup1Click);
    connect(Button1, &QPushButton::clicked, this, &TAdditionalOptionsDialog::Button1Click);

    // The options change from elsewhere too (loading, the window's view switch, the command line).
    connect(&FOptions, &TAdditionalOptions::OverwriteChanged, this, &TAdditionalOptionsDialog::ShowOptions);
    connect(&FOptions, &TAdditionalOptions::CodecThreadsChanged, this,
            &TAdditionalOptionsDialog::ShowOptions);
    connect(&FOptions, &TAdditionalOptions::SimultaneousConversionsChanged, this,
            &TAdditionalOptionsDialog::ShowOptions);
    connect(&FOptions, &TAdditionalOptions::DropDownItemsChanged, this,
            &TAdditionalOptionsDialog::ShowOptions);
    connect(&FOptions, &TAdditionalOptions::SimpleAdvanceSettingsChanged, this,
            &TAdditionalOptionsDialog::ShowOptions);

    FormCreate(AStore);
}

void TAdditionalOptionsDialog::FormCreate(TSettingsStore* AStore) {
    if (AStore) {
        // Starting without the stored choices beats not starting at all.
        try {
            AStore->LoadSettings();
        } catch (...) {
        }
    }
    ShowOptions();
    FOptions.RadioGroup1Click();
}

void TAdditionalOptionsDialog::ShowOptions() {
    const QSignalBlocker checkBlocker(CheckBoxOverWrite);
    const QSignalBlocker coresBlocker(CheckBoxAllCores);
    const QSignalBlocker spinBlocker(SpinEdit1);
    const QSignalBlocker simultaneousBlocker(SpinSimultaneous);
    CheckBoxOverWrite->setChecked(FOptions.Overwrite());
    CheckBoxAllCores->setChecked(FOptions.UseAllCores());
    SpinEdit1->setValue(FOptions.DropDownItems());
    SpinSimultaneous->setValue(FOptions.SimultaneousConversions());
    RadioGroup1->button(FOptions.SimpleAdvanceSettings())->setChecked(true);
}

void TAdditionalOptionsDialog::SpinEdit1Change(int AValue) {
    FOptions.SetDropDownItems(AValue);
}

void TAdditionalOptionsDialog::RadioGroup1Click(int APosition) {
    FOptions.SetSimpleAdvanceSettings(APosition);
    FOptions.RadioGroup1Click();
}

} // namespace vx
