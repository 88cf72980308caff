#include "SettingsList.h"

#include <stdexcept>
#include <string>

namespace vx {

TSettingsList::TSettingsList(QString ACaption, TSettingReader AReader, QObject* AParent)
    : QObject(AParent), FCaption(std::move(ACaption)), FReader(AReader) {}

void TSettingsList::SetItemIndex(int AIndex) {
    if (AIndex < -1 || AIndex >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(AIndex) + ")");
    if (AIndex == FItemIndex)
        return;
    FItemIndex = AIndex;
    emit ItemIndexChanged(FItemIndex);
}

QString TSettingsList::Text() const {
    return FItemIndex >= 0 ? FItems.at(FItemIndex) : QString();
}

TSettingValue TSettingsList::Value() const {
    if (FItemIndex >= 0)
        return FValues.at(static_cast<size_t>(FItemIndex));
    return FReader ? FReader(QString()) : TSettingValue();
}

bool TSettingsList::SetText(const QString& AText) {
    const int index = IndexOf(AText);
    if (index < 0)
        return false;
    SetItemIndex(index);
    return true;
}

void TSettingsList::SetItems(const QStringList& AItems, int AIndex) {
    std::vector<TSettingValue> values;
    values.reserve(static_cast<size_t>(AItems.size()));
    for (const QString& item : AItems)
        values.push_back(FReader ? FReader(item) : TSettingValue());
    Replace(AItems, std::move(values), AIndex);
}

void TSettingsList::SetValuedItems(const std::vector<std::pair<QString, TSettingValue>>& AItems, int AIndex) {
    QStringList labels;
    std::vector<TSettingValue> values;
    for (const auto& [label, value] : AItems) {
        labels << label;
        values.push_back(value);
    }
    Replace(labels, std::move(values), AIndex);
}

void TSettingsList::Assign(const TSettingsList& ASource) {
    Replace(ASource.FItems, ASource.FValues, ASource.FItemIndex);
}

void TSettingsList::Replace(const QStringList& AItems, std::vector<TSettingValue> AValues, int AIndex) {
    if (AIndex < -1 || AIndex >= AItems.size())
        throw std::out_of_range("List index out of bounds (" + std::to_string(AIndex) + ")");
    FItems = AItems;
    FValues = std::move(AValues);
    FItemIndex = AIndex;
    emit ItemsChanged();
    // A view that refilled itself on ItemsChanged still needs the position, even an unchanged one.
    emit ItemIndexChanged(FItemIndex);
}

void TSettingsList::Fill(const QStringList& AItems, const QString& ADefault) {
    SetItems(AItems, static_cast<int>(AItems.indexOf(ADefault)));
}

void TSettingsList::SetDropDownCount(int ACount) {
    if (ACount < 1)
        throw std::out_of_range("Drop-down length must be positive (" + std::to_string(ACount) + ")");
    if (ACount == FDropDownCount)
        return;
    FDropDownCount = ACount;
    emit DropDownCountChanged(FDropDownCount);
}

} // namespace vx
