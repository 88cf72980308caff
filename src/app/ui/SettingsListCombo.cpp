#include "SettingsListCombo.h"

#include "SettingsList.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace vx {

void BindComboBox(QComboBox* ACombo, TSettingsList* AList) {
    auto showItems = [ACombo, AList] {
        // Refilling would report a selection change of its own; the list's position follows anyway.
        const QSignalBlocker blocker(ACombo);
        ACombo->clear();
        ACombo->addItems(AList->Items());
        ACombo->setCurrentIndex(AList->ItemIndex());
    };
    auto showIndex = [ACombo](int AIndex) {
        const QSignalBlocker blocker(ACombo);
        ACombo->setCurrentIndex(AIndex);
    };
    showItems();
    ACombo->setMaxVisibleItems(AList->DropDownCount());

    QObject::connect(AList, &TSettingsList::ItemsChanged, ACombo, showItems);
    QObject::connect(AList, &TSettingsList::ItemIndexChanged, ACombo, showIndex);
    QObject::connect(AList, &TSettingsList::DropDownCountChanged, ACombo, &QComboBox::setMaxVisibleItems);
    QObject::connect(ACombo, &QComboBox::activated, AList, &TSettingsList::SetItemIndex);
}

} // namespace vx
