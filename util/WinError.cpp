// Windows error codes: the German text for each code, the errno mapping and
// the full path used in messages.
#include "FileUtils.h"
#include "Platform.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace FileUtils {

QString SystemErrorText(std::uint32_t code)
{
    if ((code & kSystemErrnoFlag) != 0 && (code & ~kSystemErrnoFlag) <= 0xFFFF) {
        QString text = Platform::ErrnoText(int(code & ~kSystemErrnoFlag));
        if (!text.isEmpty())
            return text;
    }
    switch (code) {
    case 0:
        return QStringLiteral("Der Vorgang wurde erfolgreich beendet");
    case 2:
        return QStringLiteral("Das System kann die angegebene Datei nicht finden");
    case 3:
        return QStringLiteral("Das System kann den angegebenen Pfad nicht finden");
    case 5:
        return QStringLiteral("Zugriff verweigert");
    case 31:
        return QStringLiteral("Ein an das System angeschlossenes Gerät funktioniert nicht");
    case 32:
        return QStringLiteral("Der Prozess kann nicht auf die Datei zugreifen, da sie von einem "
                              "anderen Prozess verwendet wird");
    case 33:
        return QStringLiteral("Der Prozess kann nicht auf die Datei zugreifen, da ein anderer "
                              "Prozess einen Teil der Datei gesperrt hat");
    case 80:
        return QStringLiteral("Die Datei ist vorhanden");
    case 112:
        return QStringLiteral("Auf dem Datenträger ist nicht genügend Speicherplatz vorhanden");
    case 206:
        return QStringLiteral("Der Dateiname oder die Erweiterung ist zu lang");
    default:
        return QStringLiteral("Unbekannter Systemfehler (Code %1)").arg(code);
    }
}

QString PathKindText(PathKind kind)
{
    switch (kind) {
    case PathKind::Directory:
        return QStringLiteral("ein Verzeichnis");
    case PathKind::Fifo:
        return QStringLiteral("eine FIFO");
    case PathKind::Socket:
        return QStringLiteral("ein Socket");
    case PathKind::Device:
        return QStringLiteral("ein Gerät");
    default:
        return QString();
    }
}

std::uint32_t ErrnoToWinError(int err)
{
    switch (err) {
    case 0:
        return 0;
    case ENOENT:
        return 2;
    case ENOTDIR:
        return 3;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return 5;
    case EWOULDBLOCK:
        return 32;  // a refused lock
    case EEXIST:
        return 80;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        return 112;
    case ENAMETOOLONG:
        return 206;
    default:
        // Carried as it is, so that the message can give the system's own reason.
        return err > 0 && err <= 0xFFFF ? kSystemErrnoFlag | std::uint32_t(err) : 31;
    }
}

std::uint32_t ErrnoToWinError(int err, const QString& fileName)
{
    if (err == ENOENT) {
        const QString parent = QFileInfo(FullPathName(fileName)).path();
        if (!DirectoryExists(parent))
            return 3;
    }
    return ErrnoToWinError(err);
}

EInOutError::EInOutError(const QString& message, std::uint32_t errorCode)
    : std::runtime_error(message.toStdString()), ErrorCode(errorCode)
{
}

EExtFileStreamError EExtFileStreamError::CreateResFmt(const QString& pattern,
                                                      const QList<FormatArg>& args,
                                                      std::uint32_t errorCode)
{
    return EExtFileStreamError(SafeFormat(pattern, args), errorCode);
}

namespace {

// Trailing dots, blanks and control characters go, as in the stream messages.
QString TrimmedSystemText(std::uint32_t code)
{
    QString text = SystemErrorText(code);
    while (!text.isEmpty()
           && (text.back() == u'.' || text.back() == u' ' || text.back().unicode() < 0x20))
        text.chop(1);
    return text;
}

}  // namespace

EExtFileStreamError StreamOpenError(const QString& fileName, bool create, std::uint32_t code)
{
    const QString pattern = create ? QStringLiteral("Datei \"%s\" kann nicht erstellt werden. %s")
                                   : QStringLiteral("Datei %s kann nicht geöffnet werden. %s");
    return EExtFileStreamError::CreateResFmt(pattern, {FullPathName(fileName), TrimmedSystemText(code)}, code);
}

QString FullPathName(const QString& fileName)
{
    if (fileName.isEmpty())
        return QDir::toNativeSeparators(QDir::currentPath());
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(fileName)));
}

}  // namespace FileUtils
