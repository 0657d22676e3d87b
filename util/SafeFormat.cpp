// Message pattern formatting that cannot fail.
//
// Grammar of one placeholder: "%" [index ":"] ["-"] [width] ["." precision] kind
// where index, width and precision are decimal digits (width and precision
// may also be "*", taken from the next argument) and kind is s, d or u in
// either case. "%%" stands for one percent sign.
#include "FileUtils.h"

#include <optional>

namespace FileUtils {

namespace {

class PatternFormatter {
public:
    PatternFormatter(const QString& pattern, const QList<FormatArg>& args)
        : FPattern(pattern), FArgs(args)
    {
    }

    // The filled pattern, or nothing when the pattern and the arguments do not fit.
    std::optional<QString> Run()
    {
        QString out;
        out.reserve(FPattern.size() + 32);
        while (FPos < FPattern.size()) {
            const QChar c = FPattern.at(FPos++);
            if (c != u'%') {
                out += c;
                continue;
            }
            if (AtEnd())
                return std::nullopt;
            if (Peek() == u'%') {
                ++FPos;
                out += u'%';
                continue;
            }
            if (!Placeholder(out))
                return std::nullopt;
        }
        return out;
    }

private:
    bool AtEnd() const { return FPos >= FPattern.size(); }
    QChar Peek() const { return FPattern.at(FPos); }

    // Reads digits or "*" at the current position. Returns false on failure;
    // number stays empty when there was neither.
    bool Number(std::optional<qint64>& number)
    {
        number.reset();
        if (AtEnd())
            return true;
        if (Peek() == u'*') {
            ++FPos;
            const FormatArg* arg = NextArg();
            if (!arg)
                return false;
            if (const auto* u = std::get_if<std::uint32_t>(&arg->value))
                number = *u;
            else if (const auto* s = std::get_if<std::int32_t>(&arg->value))
                number = *s;
            else
                return false;
            return true;
        }
        qint64 value = 0;
        bool any = false;
        while (!AtEnd() && Peek().isDigit() && Peek().unicode() < 0x80) {
            value = value * 10 + (Peek().unicode() - u'0');
            if (value > 0xFFFF)  // keeps padding bounded
                return false;
            any = true;
            ++FPos;
        }
        if (any)
            number = value;
        return true;
    }

    const FormatArg* NextArg()
    {
        if (FNextArg >= FArgs.size())
            return nullptr;
        return &FArgs.at(FNextArg++);
    }

    bool Placeholder(QString& out)
    {
        std::optional<qint64> first;
        if (!Number(first))
            return false;
        if (first && !AtEnd() && Peek() == u':') {
            ++FPos;
            FNextArg = *first;
            first.reset();
        }
        bool leftJustify = false;
        if (!first && !AtEnd() && Peek() == u'-') {
            ++FPos;
            leftJustify = true;
        }
        std::optional<qint64> width = first;
        if (!width && !Number(width))
            return false;
        std::optional<qint64> precision;
        if (!AtEnd() && Peek() == u'.') {
            ++FPos;
            if (!Number(precision))
                return false;
        }
        if (AtEnd())
            return false;
        const char16_t kind = Peek().toLower().unicode();
        ++FPos;

        const FormatArg* arg = NextArg();
        if (!arg)
            return false;
        QString text;
        switch (kind) {
        case u's': {
            const auto* s = std::get_if<QString>(&arg->value);
            if (!s)
                return false;
            text = precision && *precision >= 0 ? s->left(*precision) : *s;
            break;
        }
        case u'd':
        case u'u': {
            qint64 value;
            if (const auto* u = std::get_if<std::uint32_t>(&arg->value))
                value = *u;
            else if (const auto* s = std::get_if<std::int32_t>(&arg->value))
                value = kind == u'u' ? static_cast<qint64>(static_cast<std::uint32_t>(*s)) : *s;
            else
                return false;
            QString digits = QString::number(value < 0 ? -value : value);
            if (precision && digits.size() < *precision)
                digits = QString(*precision - digits.size(), u'0') + digits;
            text = value < 0 ? u'-' + digits : digits;
            break;
        }
        default:
            return false;
        }
        if (width && text.size() < *width) {
            const QString pad(*width - text.size(), u' ');
            text = leftJustify ? text + pad : pad + text;
        }
        out += text;
        return true;
    }

    const QString& FPattern;
    const QList<FormatArg>& FArgs;
    qsizetype FPos = 0;
    qsizetype FNextArg = 0;
};

}  // namespace

QString SafeFormat(const QString& pattern, const QList<FormatArg>& args)
{
    try {
        if (std::optional<QString> text = PatternFormatter(pattern, args).Run())
            return *text;
    } catch (...) {
        // Out of memory while building the text: fall through to the plain form.
    }
    return QStringLiteral("Format-Fehler: ") + pattern;
}

}  // namespace FileUtils
