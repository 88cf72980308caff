// File names between Qt's text and the bytes of the file system. A Linux name is any string
// of bytes; the engine's FileNameToUTF8 and UTF8ToFileName carry bytes that are not UTF-8 as
// lone surrogates, so a name survives bytes -> QString -> bytes. Qt's own file classes decode
// such bytes lossily, so every look at the disk by name goes through these helpers.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

namespace vx {

// The bytes the file system knows APath by, and back.
std::string LocalBytes(const QString& APath);
QString FromLocalBytes(std::string_view ABytes);
// The program's arguments, each kept byte for byte.
QStringList LocalArguments(int AArgc, char** AArgv);

// Something is at the name: a file, a folder, a link (even one that points nowhere).
bool NameIsTaken(const QString& APath);
bool IsDirectory(const QString& APath);
// Both names reach the same existing file (through links and other spellings).
bool IsSameFile(const QString& APath1, const QString& APath2);

// A name that Qt decoded from bytes that are not UTF-8 (a file dialog, a dropped URL) holds
// U+FFFD where those bytes were, and names no file. When exactly one entry of its folder
// decodes to it, that entry's exact name is returned; otherwise APath as it is.
QString ResolveDecodedName(const QString& APath);

} // namespace vx
