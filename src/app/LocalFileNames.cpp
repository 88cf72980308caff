#include "LocalFileNames.h"

#include "base/UnicodeProtocol.h"

#include <QFile>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace vx {

namespace {

struct TDirClose {
    void operator()(DIR* ADir) const { ::closedir(ADir); }
};

} // namespace

std::string LocalBytes(const QString& APath) {
    return FileNameToUTF8(APath.toStdU16String());
}

QString FromLocalBytes(std::string_view ABytes) {
    return QString::fromStdU16String(UTF8ToFileName(ABytes));
}

QStringList LocalArguments(int AArgc, char** AArgv) {
    QStringList args;
    for (int i = 0; i < AArgc; ++i)
        args << FromLocalBytes(AArgv[i]);
    return args;
}

bool NameIsTaken(const QString& APath) {
    struct stat st {};
    return ::lstat(LocalBytes(APath).c_str(), &st) == 0;
}

bool IsDirectory(const QString& APath) {
    struct stat st {};
    return ::stat(LocalBytes(APath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSameFile(const QString& APath1, const QString& APath2) {
    struct stat a {
    }, b{};
    return ::stat(LocalBytes(APath1).c_str(), &a) == 0 && ::stat(LocalBytes(APath2).c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

QString ResolveDecodedName(const QString& APath) {
    if (!APath.contains(QChar::ReplacementCharacter) || NameIsTaken(APath))
        return APath;
    const qsizetype slash = APath.lastIndexOf('/');
    const QString folder = slash < 0    ? QStringLiteral(".")
                           : slash == 0 ? QStringLiteral("/")
                                        : APath.left(slash);
    const QString name = APath.mid(slash + 1);
    const std::unique_ptr<DIR, TDirClose> dir(::opendir(LocalBytes(folder).c_str()));
    if (!dir)
        return APath;
    QString found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        // What Qt made of the entry's bytes.
        if (QFile::decodeName(QByteArray(entry->d_name)) == name) {
            found = FromLocalBytes(entry->d_name);
            ++matches;
        }
    }
    if (matches != 1)
        return APath;
    return (slash < 0 ? QString() : APath.left(slash + 1)) + found;
}

} // namespace vx
