// What every platform says the same way about files in use: the side files of
// a database and the German texts.
#include "FileInUse.h"
#include "FileUtils.h"

namespace FileUtils {

FileUse CheckFileNotInUse(const QString& fileName)
{
    return CheckFilesNotInUse({fileName});
}

FileUse CheckDatabaseNotInUse(const QString& fileName)
{
    return CheckFilesNotInUse({fileName, fileName + QStringLiteral("-journal"), fileName + QStringLiteral("-wal"),
                               fileName + QStringLiteral("-shm")});
}

QString FileUseText(const FileUse& use)
{
    if (use.ErrorCode == 0)
        return QString();
    if (use.Holder.isEmpty())
        return SafeFormat(QStringLiteral("Die Datei \"%s\" ist von einem anderen Programm gesperrt."), {use.FileName});
    return SafeFormat(QStringLiteral("Die Datei \"%s\" ist von einem anderen Programm geöffnet: %s."),
                      {use.FileName, use.Holder});
}

QString UnverifiedText(const FileUse& use)
{
    if (!use.Unverified)
        return QString();
    return SafeFormat(QStringLiteral("Warnung: Ob \"%s\" von einem anderen Programm benutzt wird, lässt sich nicht "
                                     "prüfen (die geöffneten Dateien anderer Programme sind nicht einsehbar)."),
                      {use.FileName});
}

}  // namespace FileUtils
