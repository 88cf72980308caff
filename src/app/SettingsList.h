// One drop-down list of the settings panels, kept apart from any widget: its items with the
// value each stands for, the selected position and the drop-down length. A Qt combo box and the
// command line both show and change the same object, so the task builder reads one truth
// whichever front end is in use.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "SettingValues.h"

namespace vx {

class TSettingsList : public QObject {
    Q_OBJECT
public:
    // Drop-down length of a list that nobody has sized.
    static constexpr int DefaultDropDownCount = 8;

    // AReader gives each item's value from its label when items are set by label; without one
    // an item stands for nothing (TSettingValue()) unless it is set with its value.
    explicit TSettingsList(QString ACaption = {}, TSettingReader AReader = nullptr,
                           QObject* AParent = nullptr);

    // The label shown next to the list ("Video Codec : " and so on).
    const QString& Caption() const { return FCaption; }

    const QStringList& Items() const { return FItems; }
    int Count() const { return static_cast<int>(FItems.size()); }

    // Selected position, -1 when nothing is selected.
    int ItemIndex() const { return FItemIndex; }
    // -1 clears the selection; any other position outside the items throws std::out_of_range.
    void SetItemIndex(int AIndex);

    // The selected item's text; empty when nothing is selected.
    QString Text() const;
    // The selected item's value; with nothing selected, what an empty label stands for.
    TSettingValue Value() const;
    // The value of the item at AIndex; a position outside the items throws std::out_of_range.
    const TSettingValue& ValueAt(int AIndex) const { return FValues.at(static_cast<size_t>(AIndex)); }
    // Selects the item that equals AText exactly; false (selection unchanged) when there is none.
    bool SetText(const QString& AText);
    int IndexOf(const QString& AText) const { return static_cast<int>(FItems.indexOf(AText)); }

    // Replaces all items at once and selects AIndex (-1: nothing), e.g. when a profile fills the
    // list; the list's reader gives their values.
    void SetItems(const QStringList& AItems, int AIndex = -1);
    // The same with each label's value given beside it.
    void SetValuedItems(const std::vector<std::pair<QString, TSettingValue>>& AItems, int AIndex = -1);
    // Replaces all items and selects ADefault by text; nothing is selected when it is not among them.
    void Fill(const QStringList& AItems, const QString& ADefault);
    void Clear() { SetItems(QStringList(), -1); }
    // Takes over another list's items and position (the simple panel mirrors the advanced one).
    void Assign(const TSettingsList& ASource);

    // How many items the open list shows before it scrolls.
    int DropDownCount() const { return FDropDownCount; }
    void SetDropDownCount(int ACount);

signals:
    // Items were replaced; ItemIndexChanged always follows with the new position.
    void ItemsChanged();
    void ItemIndexChanged(int AIndex);
    void DropDownCountChanged(int ACount);

private:
    void Replace(const QStringList& AItems, std::vector<TSettingValue> AValues, int AIndex);

    QString FCaption;
    TSettingReader FReader;
    QStringList FItems;
    std::vector<TSettingValue> FValues; // one per item
    int FItemIndex = -1;
    int FDropDownCount = DefaultDropDownCount;
};

} // namespace vx
