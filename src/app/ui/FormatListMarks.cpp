#include "FormatListMarks.h"

#include "FormatAvailability.h"
#include "OutputCatalogue.h"

#include <QComboBox>
#include <QStandardItemModel>

namespace vx {

void MarkUnavailableFormats(QComboBox* AFormatList) {
    auto* model = qobject_cast<QStandardItemModel*>(AFormatList->model());
    if (!model)
        return;
    for (int position = 0; position < AFormatList->count(); ++position) {
        const TheAVCodec* entry = FindAVCodec(AFormatList->itemText(position));
        if (!entry)
            continue;
        const TFormatAvailability availability = CheckFormatAvailability(*entry);
        if (availability.Available)
            continue;
        QStandardItem* item = model->item(position);
        item->setEnabled(false);
        item->setToolTip(availability.Reason);
    }
}

} // namespace vx
