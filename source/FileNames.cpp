#include "FileNames.h"

#include <QDir>

namespace pdx {

namespace {

constexpr char16_t kHeldFirst = 0xDC80;
constexpr char16_t kHeldLast = 0xDCFF;

bool IsHeld(const QString& name, qsizetype i)
{
    const char16_t c = name[i].unicode();
    return c >= kHeldFirst && c <= kHeldLast && (i == 0 || !name[i - 1].isHighSurrogate());
}

void AppendUtf8(QByteArray& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The length of the valid UTF-8 sequence at P (of N bytes left) and its code point; 0 when the
// bytes there are no valid sequence (overlong forms and surrogates are not).
int Utf8Sequence(const unsigned char* p, qsizetype n, char32_t& c)
{
    const unsigned char b = p[0];
    int length = 0;
    char32_t min = 0;
    if (b < 0x80) {
        c = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, c = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (n < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QByteArray EncodeFileName(const QString& name)
{
    QByteArray out;
    out.reserve(name.size() + 8);
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar ch = name[i];
        if (ch.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(ch, name[i + 1]));
            ++i;
        } else if (IsHeld(name, i)) {
            out += char(ch.unicode() - 0xDC00);
        } else {
            AppendUtf8(out, ch.unicode());
        }
    }
    return out;
}

QString DecodeFileName(QByteArrayView bytes)
{
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        char32_t c = 0;
        const int length = Utf8Sequence(p + i, n - i, c);
        if (length == 0) {
            name += QChar(char16_t(0xDC00 + p[i]));
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            name += QChar(QChar::highSurrogate(c));
            name += QChar(QChar::lowSurrogate(c));
        } else {
            name += QChar(char16_t(c));
        }
        i += length;
    }
    return name;
}

bool HasHeldBytes(const QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i)
        if (IsHeld(name, i))
            return true;
    return false;
}

QString DisplayFileName(const QString& name)
{
    if (!HasHeldBytes(name))
        return name;
    QString shown;
    shown.reserve(name.size() + 16);
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (IsHeld(name, i))
            shown += QStringLiteral("\\x") +
                     QStringLiteral("%1").arg(name[i].unicode() - 0xDC00, 2, 16, QLatin1Char('0')).toUpper();
        else
            shown += name[i];
    }
    return shown;
}

QString FoldedFileName(const QString& name)
{
    if (!HasHeldBytes(name))
        return name.normalized(QString::NormalizationForm_C).toCaseFolded();
    // Normalising or folding would turn a held byte into U+FFFD: only the text between them is.
    QString folded;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsHeld(name, i))
            continue;
        folded += name.mid(start, i - start).normalized(QString::NormalizationForm_C).toCaseFolded();
        if (i < name.size())
            folded += name[i];
        start = i + 1;
    }
    return folded;
}

QString JoinFileName(const QString& directory, const QString& name)
{
    if (directory.isEmpty())
        return name;
    if (directory.endsWith(u'/') || directory.endsWith(u'\\'))
        return directory + name;
    return directory + QDir::separator() + name;
}

} // namespace pdx
