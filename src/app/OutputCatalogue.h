// The fixed catalogue of output formats offered by "Set Output Format :".
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace vx {

// One output format.
struct TheAVCodec {
    // The entry's text in the format list; entries are matched by exact equality of this text.
    QString ComboText;
    // Short upper-case name shown in the "Output" column; lower-cased after a "." it is the extension.
    QString OutFormat;
    // Profile that fills the settings lists (see FillProfileLists); numbers are not contiguous.
    int Number = 0;
};

// The 42 entries in list order (separators are not entries).
const std::vector<TheAVCodec>& AVCodecs();

// The item that divides the groups of the format list.
extern const QString FormatListSeparator;

// The 45 items of the format list: the entries with separators between the groups.
QStringList FormatListItems();

// True for a separator item: 14 blanks followed by hyphens.
bool IsFormatListSeparator(const QString& AText);

// The entry whose ComboText equals AText, nullptr when none does.
const TheAVCodec* FindAVCodec(const QString& AText);

} // namespace vx
