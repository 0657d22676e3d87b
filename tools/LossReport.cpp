#include "LossReport.h"

namespace tooltext {

namespace {

struct Wording {
    pdx::LossKind kind;
    const char* one;   // for one value
    const char* many;  // %1: how many
};

const Wording kWordings[] = {
    {pdx::LossKind::Date, "1 Datum außerhalb des Bereichs als NULL", "%1 Datumswerte außerhalb des Bereichs als NULL"},
    {pdx::LossKind::Time, "1 Uhrzeit außerhalb des Bereichs als NULL", "%1 Uhrzeiten außerhalb des Bereichs als NULL"},
    {pdx::LossKind::Timestamp, "1 Zeitstempel außerhalb des Bereichs als NULL",
     "%1 Zeitstempel außerhalb des Bereichs als NULL"},
    {pdx::LossKind::Unmappable, "1 Text mit Bytes außerhalb der Codepage %2, als U+FFFD übernommen",
     "%1 Texte mit Bytes außerhalb der Codepage %2, als U+FFFD übernommen"},
    {pdx::LossKind::BcdDigits, "1 BCD-Zahl mit ungültigen Ziffern, als 0 gelesen",
     "%1 BCD-Zahlen mit ungültigen Ziffern, als 0 gelesen"},
    {pdx::LossKind::MissingMemo, "1 Memo-/BLOB-Wert als NULL, weil die Memodatei \"%3\" fehlt",
     "%1 Memo-/BLOB-Werte als NULL, weil die Memodatei \"%3\" fehlt"},
    {pdx::LossKind::UnreadableMemo, "1 Memo-/BLOB-Wert als NULL, weil er in der Memodatei \"%3\" nicht lesbar ist",
     "%1 Memo-/BLOB-Werte als NULL, weil sie in der Memodatei \"%3\" nicht lesbar sind"},
};

// Fills %1, %2 and %3 once each, so that a file name holding "%1" stays as it is.
QString Fill(const char* pattern, const QString& count, const QString& codePage, const QString& memo)
{
    const QString text = QString::fromUtf8(pattern);
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'3') {
            out += text[i + 1] == u'1' ? count : text[i + 1] == u'2' ? codePage : memo;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

QStringList LossLines(const QString& tableName, const pdx::SourceTable& source)
{
    QStringList lines;
    for (const Wording& w : kWordings) {
        const pdx::LossCount& loss = source.Losses(w.kind);
        if (loss.count == 0)
            continue;
        const QString text = Fill(loss.count == 1 ? w.one : w.many, QString::number(loss.count),
                                  source.CodePageName(),
                                  w.kind == pdx::LossKind::UnreadableMemo ? source.MemoFileName() : source.MissingMemoFile());
        lines << tableName + QStringLiteral(": ") + text +
                     (loss.count == 1 ? QStringLiteral(" (Zeile %1)") : QStringLiteral(" (zuerst in Zeile %1)"))
                         .arg(loss.firstRow);
    }
    if (!source.MissingMemoFile().isEmpty() && source.Losses(pdx::LossKind::MissingMemo).count == 0)
        lines << tableName + QStringLiteral(": Die Memodatei \"") + source.MissingMemoFile() +
                     QStringLiteral("\" fehlt; alle Memo- und BLOB-Werte standen in der Tabelle selbst.");
    return lines;
}

}  // namespace tooltext
