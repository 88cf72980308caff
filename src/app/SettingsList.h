// One drop-down list of the settings panels, kept apart from any widget: its items, the selected
// position and the drop-down length. A Qt combo box and the command line both show and change
// the same object, so the task builder reads one truth whichever front end is in use.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace vx {

class TSettingsList : public QObject {
    Q_OBJECT
public:
    // Drop-down length of a list that nobody has sized.
    static constexpr int DefaultDropDownCount = 8;

    explicit TSettingsList(QString ACaption = {}, QObject* AParent = nullptr);

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
    // Selects the item that equals AText exactly; false (selection unchanged) when there is none.
    bool SetText(const QString& AText);
    int IndexOf(const QString& AText) const { return static_cast<int>(FItems.indexOf(AText)); }

    // Replaces all items at once and selects AIndex (-1: nothing), e.g. when a profile fills the list.
    void SetItems(const QStringList& AItems, int AIndex = -1);
    // Replaces all items and selects ADefault by text; nothing is selected when it is not among them.
    void Fill(const QStringList& AItems, const QString& ADefault);
    void Clear() { SetItems({}, -1); }
    // Takes over another list's items and position (the simple panel mirrors the advanced one).
    void Assign(const TSettingsList& ASource) { SetItems(ASource.FItems, ASource.FItemIndex); }

    // How many items the open list shows before it scrolls.
    int DropDownCount() const { return FDropDownCount; }
    void SetDropDownCount(int ACount);

signals:
    // Items were replaced; ItemIndexChanged always follows with the new position.
    void ItemsChanged();
    void ItemIndexChanged(int AIndex);
    void DropDownCountChanged(int ACount);

private:
    QString FCaption;
    QStringList FItems;
    int FItemIndex = -1;
    int FDropDownCount = DefaultDropDownCount;
};

} // namespace vx
