#include "SourceError.h"

#include <array>
#include <utility>

namespace pdx {

namespace {

struct MessageEntry {
    ErrorCode code;
    const char* text; // UTF-8
};

// One table for all messages, so the wording stays in one place.
constexpr std::array kMessages{
    MessageEntry{ErrorCode::FileNotFound, "Datei \"%1\" nicht gefunden!"},
    MessageEntry{ErrorCode::FileOpenFailed, "Die Datei \"%1\" kann nicht zum Lesen geöffnet werden"},
    MessageEntry{ErrorCode::FileReadFailed, "Die Datei \"%1\" kann nicht gelesen werden"},
    MessageEntry{ErrorCode::NotParadox, "Die Datei \"%1\" ist keine Paradox-Tabelle"},
    MessageEntry{ErrorCode::SqliteFile,
                 "Die Datei \"%1\" ist keine Paradox-Tabelle, sondern eine SQLite-Datenbank"},
    MessageEntry{ErrorCode::IndexFile,
                 "Die Datei \"%1\" ist eine Indexdatei und keine Paradox-Tabelle mit Daten"},
    MessageEntry{ErrorCode::HeaderTruncated, "Der Dateikopf der Paradox-Tabelle \"%1\" ist unvollständig"},
    MessageEntry{ErrorCode::BadHeaderValue,
                 "Der Dateikopf der Paradox-Tabelle \"%1\" ist beschädigt: %2 hat den ungültigen Wert %3"},
    MessageEntry{ErrorCode::FieldSizeMismatch,
                 "Die Paradox-Tabelle \"%1\" ist beschädigt: die Feldgrößen ergeben %2 Byte, "
                 "ein Datensatz ist aber %3 Byte lang"},
    MessageEntry{ErrorCode::UnknownFieldType,
                 "Die Paradox-Tabelle \"%1\" ist beschädigt: das Feld \"%2\" hat den unbekannten Typ %3"},
    MessageEntry{ErrorCode::BadFieldSize,
                 "Die Paradox-Tabelle \"%1\" ist beschädigt: das Feld \"%2\" hat die ungültige Größe %3"},
    MessageEntry{ErrorCode::MemoFileMissing,
                 "Die Memodatei \"%1\" fehlt; das Feld \"%2\" der Tabelle \"%3\" kann nicht gelesen werden"},
    MessageEntry{ErrorCode::InvalidCodePage, "Die Codepage \"%2\" für die Tabelle \"%1\" ist unbekannt"},
    MessageEntry{ErrorCode::FieldMissing, "Das Feld \"%2\" gibt es in der Tabelle \"%1\" nicht"},
    MessageEntry{ErrorCode::NotOpen, "Die Paradox-Tabelle ist nicht geöffnet"},
    MessageEntry{ErrorCode::NoCurrentRecord, "Die Tabelle \"%1\" hat keinen aktuellen Datensatz"},
    MessageEntry{ErrorCode::NotAnInteger,
                 "Das Feld \"%2\" der Tabelle \"%1\" enthält \"%3\"; das ist keine ganze Zahl"},
    MessageEntry{ErrorCode::NotANumber,
                 "Das Feld \"%2\" der Tabelle \"%1\" enthält \"%3\"; das ist keine Zahl"},
    MessageEntry{ErrorCode::IntegerOutOfRange,
                 "Der Wert %3 im Feld \"%2\" der Tabelle \"%1\" passt nicht in eine 32-Bit-Ganzzahl"},
    MessageEntry{ErrorCode::NotConvertible,
                 "Das Feld \"%2\" (Typ %3) der Tabelle \"%1\" kann nicht als %4 gelesen werden"},
    MessageEntry{ErrorCode::CannotOrderBy,
                 "Die Tabelle \"%1\" kann nicht nach dem Feld \"%2\" geordnet werden"},
};

} // namespace

QString ErrorText(ErrorCode code, const QStringList& args)
{
    QString text = QStringLiteral("Unbekannter Fehler beim Lesen einer Paradox-Tabelle");
    for (const auto& entry : kMessages) {
        if (entry.code == code) {
            text = QString::fromUtf8(entry.text);
            break;
        }
    }
    // Replace by hand instead of QString::arg: an argument that itself holds
    // "%1" (a file name, say) must not be substituted again.
    QString result;
    result.reserve(text.size() + 64);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 1 < text.size() && text[i + 1].isDigit()) {
            const int n = text[i + 1].digitValue();
            if (n >= 1 && n <= args.size())
                result += args[n - 1];
            ++i;
            continue;
        }
        result += text[i];
    }
    return result;
}

SourceError::SourceError(ErrorCode code, const QStringList& args)
    : std::runtime_error(ErrorText(code, args).toUtf8().toStdString()), code_(code)
{
}

} // namespace pdx
