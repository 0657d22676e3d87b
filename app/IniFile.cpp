#include "IniFile.h"

#include "util/FileUtils.h"

#include <QFile>
#include <QSaveFile>

// Only the byte interface (the file's bytes pass through unchanged, texts are UTF-8), with
// the library's template bodies compiled here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

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

// The key as the file spells it, so that replacing a value keeps the key's letter case.
QByteArray SpellingInFile(const Ini& ini, const QByteArray& section, const QByteArray& key)
{
    Ini::TNamesDepend keys;
    ini.GetAllKeys(section.constData(), keys);
    for (const Ini::Entry& entry : keys) {
        if (QByteArray(entry.pItem).compare(key, Qt::CaseInsensitive) == 0)
            return entry.pItem;
    }
    return key;
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
    Ini ini;
    if (Load(FFileName, ini) == Loaded::Unreadable)
        return false;
    // Root may write anything; the settings file still keeps its read-only mark.
    std::uint32_t attributes = 0;
    if (FileUtils::QueryFileAttributes(FFileName, attributes) == 0 && (attributes & FileUtils::FileAttr::ReadOnly))
        return false;
    const QByteArray sectionName = section.toUtf8();
    if (ini.SetValue(sectionName.constData(), SpellingInFile(ini, sectionName, key.toUtf8()).constData(),
                     OneLine(value).toUtf8().constData(), nullptr, /*forceReplace*/ true) < 0)
        return false;
    std::string text;
    if (ini.Save(text, /*addSignature*/ false) < 0)
        return false;
    // Written beside the file and renamed over it: a failed write leaves the old file whole.
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.commit();
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
