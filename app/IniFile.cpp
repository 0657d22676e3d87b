#include "IniFile.h"

#include "util/FileUtils.h"

#include <QFile>
#include <QSaveFile>

// Only the byte interface (the file's bytes pass through unchanged, texts are UTF-8), with
// the library's template bodies compiled here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <optional>
#include <string>

namespace {

// Many keys of one name: the first counts when read, all are replaced when written.
struct Ini : CSimpleIniA {
    Ini() : CSimpleIniA(/*utf8*/ false, /*multiKey*/ true, /*multiLine*/ false) { SetSpaces(false); }
};

enum class Loaded { Missing, Read, Unreadable };

Loaded Load(const QString& fileName, Ini& ini)
{
    QFile file(fileName);
    if (!file.exists())
        return Loaded::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return Loaded::Unreadable;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Loaded::Unreadable;
    return ini.LoadData(data.constData(), static_cast<size_t>(data.size())) == SI_OK ? Loaded::Read
                                                                                    : Loaded::Unreadable;
}

QString Unquoted(QString value)
{
    if (value.size() >= 2 && value.front() == value.back()
        && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        return value.mid(1, value.size() - 2);
    return value;
}

QString OneLine(QString value)
{
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    value.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return value;
}

// The line break the file uses; "\n" for a new file.
QByteArray LineBreakOf(const QByteArray& text)
{
    const qsizetype lf = text.indexOf('\n');
    return lf > 0 && text.at(lf - 1) == '\r' ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
}

// The name of a section header "[name]", or nothing for any other line.
std::optional<QByteArray> SectionName(const QByteArray& line)
{
    const QByteArray trimmed = line.trimmed();
    const qsizetype close = trimmed.indexOf(']');
    if (!trimmed.startsWith('[') || close < 0)
        return std::nullopt;
    return trimmed.mid(1, close - 1).trimmed();
}

// Whether a line sets KEY: "key = value", the key's blanks and case aside; comments never do.
bool SetsKey(const QByteArray& line, const QByteArray& key)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.startsWith(';') || trimmed.startsWith('#'))
        return false;
    const qsizetype equals = trimmed.indexOf('=');
    return equals > 0 && trimmed.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0;
}

// TEXT with KEY of SECTION set to VALUE, and every other byte kept: comments, lines without
// "=", blank lines, the order and the line breaks. Every line of the section that sets the key
// gets the new value (the first is the one read); a missing key goes after the section's last
// key, a missing section at the end.
QByteArray WithValue(const QByteArray& text, const QByteArray& section, const QByteArray& key,
                     const QByteArray& value)
{
    const QByteArray lineBreak = LineBreakOf(text);
    QList<QByteArray> lines = text.split('\n');
    const bool endsWithBreak = text.isEmpty() || text.endsWith('\n');
    if (endsWithBreak)
        lines.removeLast();  // the empty piece after the last break
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }

    bool inSection = false;
    bool replaced = false;
    qsizetype insertAt = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionName(lines[i])) {
            inSection = name->compare(section, Qt::CaseInsensitive) == 0;
            if (inSection && insertAt < 0)
                insertAt = i + 1;
            continue;
        }
        if (!inSection)
            continue;
        if (SetsKey(lines[i], key)) {
            const QByteArray spelling = lines[i].left(lines[i].indexOf('=')).trimmed();
            lines[i] = spelling + '=' + value;
            replaced = true;
        } else if (!replaced && insertAt >= 0 && lines[i].contains('=') && !lines[i].trimmed().startsWith(';')) {
            insertAt = i + 1;
        }
    }
    if (!replaced) {
        if (insertAt >= 0) {
            lines.insert(insertAt, key + '=' + value);
        } else {
            lines.append('[' + section + ']');
            lines.append(key + '=' + value);
        }
    }
    QByteArray result = lines.join(lineBreak);
    if (endsWithBreak)
        result += lineBreak;
    return result;
}

// Stores TEXT as FILENAME: through a file beside it that replaces it at once, so a failed
// write leaves the old file whole; where the folder takes no new file but the file itself is
// writable, in place.
bool Store(const QString& fileName, const QByteArray& text)
{
    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text);
    return file.commit();
}

} // namespace

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    Ini ini;
    if (Load(FFileName, ini) != Loaded::Read)
        return defaultValue.left(IniFile::MaxValueLength);
    const char* value = ini.GetValue(section.toUtf8().constData(), key.toUtf8().constData(), nullptr);
    if (value == nullptr)
        return defaultValue.left(IniFile::MaxValueLength);
    return Unquoted(QString::fromUtf8(value)).left(IniFile::MaxValueLength);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    return IniFile::ParseInteger(ReadString(section, key, QString())).value_or(defaultValue);
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value) const
{
    // Read back in full first: a file that cannot be read must not be replaced by a fragment.
    QByteArray text;
    QFile file(FFileName);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return false;
        text = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
        file.close();
    }
    // Root may write anything; the settings file still keeps its read-only mark.
    std::uint32_t attributes = 0;
    if (FileUtils::QueryFileAttributes(FFileName, attributes) == 0 && (attributes & FileUtils::FileAttr::ReadOnly))
        return false;
    return Store(FFileName, WithValue(text, section.toUtf8(), key.toUtf8(), OneLine(value).toUtf8()));
}

bool TIniFile::WriteInteger(const QString& section, const QString& key, int value) const
{
    return WriteString(section, key, QString::number(value));
}

namespace IniFile {

std::optional<int> ParseInteger(const QString& text)
{
    QStringView rest(text);
    bool negative = false;
    if (!rest.isEmpty() && (rest.front() == u'-' || rest.front() == u'+')) {
        negative = rest.front() == u'-';
        rest = rest.mid(1);
    }
    int base = 10;
    if (rest.startsWith(u'$')) {
        base = 16;
        rest = rest.mid(1);
    } else if (rest.startsWith(u"0x", Qt::CaseInsensitive)) {
        base = 16;
        rest = rest.mid(2);
    }
    if (rest.isEmpty() || (base == 16 && rest.size() > 8))
        return std::nullopt;
    // toULongLong accepts signs and blanks of its own: allow digits only.
    for (QChar c : rest) {
        if (!(c.isDigit() || (base == 16 && QStringLiteral("abcdefABCDEF").contains(c))) || c.unicode() > 127)
            return std::nullopt;
    }
    bool ok = false;
    const qulonglong magnitude = rest.toULongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    if (base == 16) {
        const auto bits = static_cast<std::uint32_t>(magnitude);
        const auto value = static_cast<std::int32_t>(bits);
        return negative ? static_cast<int>(0u - bits) : value;
    }
    if (magnitude > (negative ? 2147483648ull : 2147483647ull))
        return std::nullopt;
    return negative ? static_cast<int>(-static_cast<long long>(magnitude)) : static_cast<int>(magnitude);
}

} // namespace IniFile
