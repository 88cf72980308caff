// The filters the "Add File" dialog offers: the classic filter list, whose "All Supported Files"
// also takes in the formats that list never named, then those formats in a filter of their own,
// then every file.
#pragma once

#include <QStringList>

namespace vx {

// Patterns of the formats the decoder opens that the classic filter list leaves out.
extern const QStringList OtherMediaPatterns;

// The dialog's name filters, in order (see NameFiltersOf for their form): the classic list's
// pairs, "Other Media Files" and "All Files". The first is the one selected at the start.
QStringList OpenDialogNameFilters();

} // namespace vx
