// Path and name helpers: text rules only, parameterised by the path style.
#include "FileUtils.h"
#include "Platform.h"

#include <QDir>

namespace FileUtils {

namespace {

constexpr QChar kWindowsDelimiter = u'\\';

QChar Delimiter(PathStyle style)
{
    return style == PathStyle::Windows ? kWindowsDelimiter : QDir::separator();
}

// Whether a colon anywhere in a name makes it absolute ("C:x", "a:b").
bool ColonMarksAbsolute(PathStyle style)
{
    return style == PathStyle::Windows || Platform::NativeDriveColon();
}

}  // namespace

QString EnsureTrailingDelimiter(const QString& path, PathStyle style)
{
    const QChar delimiter = Delimiter(style);
    if (path.isEmpty() || path.back() == delimiter)
        return path;
    return path + delimiter;
}

QString StripExtension(const QString& fileName, PathStyle style)
{
    const QChar delimiter = Delimiter(style);
    for (qsizetype i = fileName.size() - 1; i >= 0; --i) {
        const QChar c = fileName.at(i);
        if (c == u'.')
            return fileName.left(i);
        if (c == delimiter)
            break;
    }
    return fileName;
}

QString JoinPath(const QString& dir, const QString& name, PathStyle style)
{
    if (name.isEmpty())
        return dir;
    if (dir.isEmpty())
        return name;
    return EnsureTrailingDelimiter(dir, style) + name;
}

QString ComposeFileName(const QString& dir, const QString& name, const QString& defaultExt,
                        PathStyle style)
{
    QString ext = defaultExt;
    if (ext.startsWith(u'.'))
        ext.remove(0, 1);

    QString fileName = name;
    // The dot search covers directory parts too, so "sub.d/prog" stays as it is.
    if (!fileName.contains(u'.') && !ext.isEmpty())
        fileName += u'.' + ext;

    const QChar delimiter = Delimiter(style);
    const bool absolute = (ColonMarksAbsolute(style) && fileName.contains(u':'))
                          || fileName.startsWith(delimiter) || dir.isEmpty();
    if (absolute)
        return fileName;
    return EnsureTrailingDelimiter(dir, style) + fileName;
}

int PosText(const QString& needle, const QString& haystack, PathStyle)
{
    if (needle.isEmpty() || haystack.isEmpty())
        return 0;
    // QString::toUpper() may change the length ("ß" -> "SS"); mapping each
    // code unit on its own keeps positions valid in the original text.
    const auto upper = [](const QString& text) {
        QString result(text.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            result[i] = text.at(i).toUpper();
        return result;
    };
    const qsizetype index = upper(haystack).indexOf(upper(needle), 0, Qt::CaseSensitive);
    return index < 0 ? 0 : static_cast<int>(index) + 1;
}

bool IsNotDotEntry(const QString& name, PathStyle)
{
    return name != QLatin1String(".") && name != QLatin1String("..");
}

}  // namespace FileUtils
