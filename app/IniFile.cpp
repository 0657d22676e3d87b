#include "IniFile.h"

#include "util/FileReplace.h"
#include "util/FileUtils.h"
#include "util/WholeFile.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace {

// ---------------------------------------------------------------------------
// The file as text. It is decoded once, split into lines that keep their own
// line ending, and encoded back to the very bytes it was read from; reading a
// value and changing one look at the same lines.
// ---------------------------------------------------------------------------

enum class Encoding { Utf8, Utf8WithBom, Utf16Le, Utf16Be };

const QByteArray kUtf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray kUtf16LeBom = QByteArrayLiteral("\xFF\xFE");
const QByteArray kUtf16BeBom = QByteArrayLiteral("\xFE\xFF");

// Bytes of a UTF-8 file that are no well-formed UTF-8 (a file saved in a code page, say) are
// held as the lone surrogates U+DC80 to U+DCFF, which decoding never yields otherwise, so that
// they are written back as they were.
constexpr char16_t kByteEscape = 0xDC00;

bool IsByteEscape(char16_t unit)
{
    return unit >= kByteEscape + 0x80 && unit <= kByteEscape + 0xFF;
}

// The length of the well-formed UTF-8 sequence at POS, or 0 when there is none.
int Utf8SequenceLength(const QByteArray& data, qsizetype pos)
{
    const auto at = [&](qsizetype i) { return i < data.size() ? uchar(data[i]) : uchar(0); };
    const uchar lead = at(pos);
    if (lead < 0x80)
        return 1;
    int length = 0;
    uchar low = 0x80;  // the range of the second byte, narrower after some leads
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        const uchar byte = at(pos + i);
        if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

QString DecodeUtf8(const QByteArray& data)
{
    QString text;
    qsizetype run = 0;  // where the well-formed bytes not yet decoded begin
    for (qsizetype pos = 0; pos < data.size();) {
        if (const int length = Utf8SequenceLength(data, pos)) {
            pos += length;
            continue;
        }
        text += QString::fromUtf8(data.constData() + run, pos - run);
        text += QChar(char16_t(kByteEscape + uchar(data[pos])));
        run = ++pos;
    }
    return text + QString::fromUtf8(data.constData() + run, data.size() - run);
}

QByteArray EncodeUtf8(QStringView text)
{
    QByteArray data;
    qsizetype run = 0;  // where the characters not yet encoded begin
    for (qsizetype pos = 0; pos < text.size(); ++pos) {
        const char16_t unit = text[pos].unicode();
        if (QChar::isHighSurrogate(unit) && pos + 1 < text.size() && text[pos + 1].isLowSurrogate()) {
            ++pos;  // a pair, never an escaped byte
            continue;
        }
        if (!IsByteEscape(unit))
            continue;
        data += text.mid(run, pos - run).toUtf8();
        data += char(unit - kByteEscape);
        run = pos + 1;
    }
    return data + text.mid(run).toUtf8();
}

QString DecodeUtf16(const QByteArray& data, bool bigEndian)
{
    QString text(data.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto first = uchar(data[2 * i]);
        const auto second = uchar(data[2 * i + 1]);
        text[i] = QChar(char16_t(bigEndian ? first << 8 | second : second << 8 | first));
    }
    return text;
}

QByteArray EncodeUtf16(QStringView text, bool bigEndian)
{
    QByteArray data(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        data[2 * i + (bigEndian ? 0 : 1)] = char(unit >> 8);
        data[2 * i + (bigEndian ? 1 : 0)] = char(unit & 0xFF);
    }
    return data;
}

struct Line {
    QString text;    // without its line ending
    QString ending;  // "\r\n", "\n", "\r", or empty for a last line without one
};

struct IniText {
    Encoding encoding = Encoding::Utf8;
    QList<Line> lines;
    QByteArray oddByte;  // the last byte of a UTF-16 file of odd length
};

IniText Decode(const QByteArray& data)
{
    IniText ini;
    QString text;
    if (data.startsWith(kUtf16LeBom) || data.startsWith(kUtf16BeBom)) {
        const bool bigEndian = data.startsWith(kUtf16BeBom);
        ini.encoding = bigEndian ? Encoding::Utf16Be : Encoding::Utf16Le;
        const QByteArray units = data.mid(2, (data.size() - 2) & ~qsizetype(1));
        ini.oddByte = data.mid(2 + units.size());
        text = DecodeUtf16(units, bigEndian);
    } else if (data.startsWith(kUtf8Bom)) {
        ini.encoding = Encoding::Utf8WithBom;
        text = DecodeUtf8(data.mid(kUtf8Bom.size()));
    } else {
        text = DecodeUtf8(data);
    }

    qsizetype start = 0;
    for (qsizetype pos = 0; pos < text.size(); ++pos) {
        if (text[pos] != u'\n' && text[pos] != u'\r')
            continue;
        const qsizetype end = pos;
        if (text[pos] == u'\r' && pos + 1 < text.size() && text[pos + 1] == u'\n')
            ++pos;
        ini.lines.append({text.mid(start, end - start), text.mid(end, pos + 1 - end)});
        start = pos + 1;
    }
    if (start < text.size())
        ini.lines.append({text.mid(start), QString()});
    return ini;
}

QByteArray Encode(const IniText& ini)
{
    QString text;
    for (const Line& line : ini.lines)
        text += line.text + line.ending;
    switch (ini.encoding) {
    case Encoding::Utf8:
        return EncodeUtf8(text);
    case Encoding::Utf8WithBom:
        return kUtf8Bom + EncodeUtf8(text);
    case Encoding::Utf16Le:
        return kUtf16LeBom + EncodeUtf16(text, false) + ini.oddByte;
    case Encoding::Utf16Be:
        return kUtf16BeBom + EncodeUtf16(text, true) + ini.oddByte;
    }
    return {};
}

// A value's text as a program sees it: bytes of a UTF-8 file that are no UTF-8 read as U+FFFD.
QString Readable(const IniText& ini, QStringView value)
{
    const bool utf8 = ini.encoding == Encoding::Utf8 || ini.encoding == Encoding::Utf8WithBom;
    return utf8 ? QString::fromUtf8(EncodeUtf8(value)) : value.toString();
}

// ---------------------------------------------------------------------------
// Lines: "[section]" headers, "key=value" lines, and everything else, which no
// read uses and every write keeps.
// ---------------------------------------------------------------------------

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

QStringView SkipBlanks(QStringView text)
{
    while (!text.isEmpty() && IsBlank(text.front()))
        text = text.mid(1);
    return text;
}

QStringView Trimmed(QStringView text)
{
    text = SkipBlanks(text);
    while (!text.isEmpty() && IsBlank(text.back()))
        text.chop(1);
    return text;
}

char16_t FoldAsciiCase(QChar c)
{
    const char16_t unit = c.unicode();
    return unit >= u'A' && unit <= u'Z' ? char16_t(unit - u'A' + u'a') : unit;
}

bool StartsWithIgnoringCase(QStringView text, QStringView prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (FoldAsciiCase(text[i]) != FoldAsciiCase(prefix[i]))
            return false;
    }
    return true;
}

bool SameIgnoringCase(QStringView first, QStringView second)
{
    return first.size() == second.size() && StartsWithIgnoringCase(first, second);
}

bool IsComment(QStringView line)
{
    const QStringView text = SkipBlanks(line);
    return text.startsWith(u';') || text.startsWith(u'#');
}

// The name of a section header "[name]" (anything after the "]" aside), or nothing for any
// other line.
std::optional<QStringView> SectionName(QStringView line)
{
    const QStringView text = SkipBlanks(line);
    const qsizetype close = text.indexOf(u']');
    if (!text.startsWith(u'[') || close < 0)
        return std::nullopt;
    return Trimmed(text.mid(1, close - 1));
}

// Where the value begins in LINE (after the "=" and the blanks that follow it) when the line
// sets KEY: after leading blanks the key, its case aside, then blanks and "=". So a key may
// hold "=" itself, as the settings file's own path does. Comments set no key.
std::optional<qsizetype> ValueStart(QStringView line, QStringView key)
{
    const QStringView text = SkipBlanks(line);
    if (IsComment(text) || !StartsWithIgnoringCase(text, key))
        return std::nullopt;
    const QStringView rest = SkipBlanks(text.mid(key.size()));
    if (!rest.startsWith(u'='))
        return std::nullopt;
    return line.size() - SkipBlanks(rest.mid(1)).size();
}

bool IsKeyLine(QStringView line)
{
    return !IsComment(line) && line.contains(u'=');
}

// The value of KEY: its first line in the first section named SECTION, as Windows reads a file
// with duplicates.
std::optional<QStringView> FindValue(const IniText& ini, QStringView section, QStringView key)
{
    int sections = 0;  // headers named SECTION so far
    bool inSection = false;
    for (const Line& line : ini.lines) {
        if (const auto name = SectionName(line.text)) {
            inSection = SameIgnoringCase(*name, section) && ++sections == 1;
            continue;
        }
        if (!inSection)
            continue;
        if (const auto start = ValueStart(line.text, key))
            return Trimmed(QStringView(line.text).mid(*start));
    }
    return std::nullopt;
}

// Inserts new lines at AT with the file's first line ending ("\n" in a file without one). A
// last line without an ending stays last without one.
void InsertLines(IniText& ini, qsizetype at, const QStringList& texts)
{
    QString lineBreak = QStringLiteral("\n");
    for (const Line& line : ini.lines) {
        if (!line.ending.isEmpty()) {
            lineBreak = line.ending;
            break;
        }
    }
    QList<Line> added;
    for (const QString& text : texts)
        added.append({text, lineBreak});
    if (at > 0 && ini.lines[at - 1].ending.isEmpty()) {
        ini.lines[at - 1].ending = lineBreak;
        added.last().ending.clear();
    }
    for (qsizetype i = 0; i < added.size(); ++i)
        ini.lines.insert(at + i, added[i]);
}

// Sets KEY of SECTION to VALUE. Only the value part of the lines changes: every line of a
// section named SECTION that sets the key gets the new value. When the first such section (the
// one read) lacks the key, a line goes after its last key; a missing section goes at the end.
void SetValue(IniText& ini, const QString& section, const QString& key, const QString& value)
{
    int sections = 0;
    int current = 0;  // which section named SECTION the line lies in; 0 for another
    bool inFirst = false;
    qsizetype insertAt = -1;
    for (qsizetype i = 0; i < ini.lines.size(); ++i) {
        QString& text = ini.lines[i].text;
        if (const auto name = SectionName(text)) {
            current = SameIgnoringCase(*name, section) ? ++sections : 0;
            if (current == 1)
                insertAt = i + 1;
            continue;
        }
        if (current == 0)
            continue;
        if (const auto start = ValueStart(text, key)) {
            text = text.left(*start) + value;
            inFirst = inFirst || current == 1;
        } else if (current == 1 && IsKeyLine(text)) {
            insertAt = i + 1;
        }
    }
    if (inFirst)
        return;
    if (insertAt >= 0)
        InsertLines(ini, insertAt, {key + u'=' + value});
    else
        InsertLines(ini, ini.lines.size(), {u'[' + section + u']', key + u'=' + value});
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

} // namespace

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const FileUtils::WholeFile file = FileUtils::ReadWholeFile(FFileName);
    if (file.state != FileUtils::WholeFile::Read)
        return defaultValue.left(IniFile::MaxValueLength);
    const IniText ini = Decode(file.bytes);
    const auto value = FindValue(ini, section, key);
    if (!value)
        return defaultValue.left(IniFile::MaxValueLength);
    return Unquoted(Readable(ini, *value)).left(IniFile::MaxValueLength);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    return IniFile::ParseInteger(ReadString(section, key, QString())).value_or(defaultValue);
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value, QString* reason) const
{
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    // A link stays a link: the file it leads to is written.
    const QString target = FileUtils::FinalFileName(FFileName);
    // Read back in full first: a file that cannot be read must not be replaced by a fragment.
    const FileUtils::WholeFile old = FileUtils::ReadWholeFile(target);
    if (old.state == FileUtils::WholeFile::Unreadable) {
        const QString kind = FileUtils::PathKindText(FileUtils::KindOfPath(target));
        if (!kind.isEmpty())
            return fail(FileUtils::SafeFormat(QStringLiteral("Unter diesem Namen steht keine Datei, sondern %s"), {kind}));
        return fail(FileUtils::SafeFormat(QStringLiteral("Die Datei kann nicht gelesen werden: %s"),
                                          {FileUtils::SystemErrorText(old.error)}));
    }
    // Root may write anything; the settings file still keeps its read-only mark.
    std::uint32_t attributes = 0;
    if (old.state == FileUtils::WholeFile::Read && FileUtils::QueryFileAttributes(target, attributes) == 0
        && (attributes & FileUtils::FileAttr::ReadOnly))
        return fail(QStringLiteral("Die Datei ist schreibgeschützt"));

    IniText ini = Decode(old.bytes);
    // Through UTF-8 and back, so that no lone surrogate of the caller's becomes a raw byte.
    SetValue(ini, section, key, QString::fromUtf8(OneLine(value).toUtf8()));
    if (const std::uint32_t error = FileUtils::StoreWholeFile(target, Encode(ini), old))
        return fail(FileUtils::SafeFormat(QStringLiteral("Die Datei kann nicht gespeichert werden: %s"),
                                          {FileUtils::SystemErrorText(error)}));
    return true;
}

bool TIniFile::WriteInteger(const QString& section, const QString& key, int value, QString* reason) const
{
    return WriteString(section, key, QString::number(value), reason);
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
