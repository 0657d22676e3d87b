// The real sample tables of the shared fixtures folder, exported folder by folder: every table
// that paradox-dump reads arrives with the same columns, rows and values; every table it refuses
// is reported with the same German message and leaves the others alone.

#include "ExportTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

using namespace exporttest;

namespace {

const QString kRoot = QStringLiteral(KK_PARADOX_FIXTURES);

// The storage class every non-blank value of a Paradox field type must have in SQLite.
int StorageClassOf(const QString& typeLetter)
{
    static const QString integers = "SI+L", reals = "N$", texts = "AM#DT@";
    if (integers.contains(typeLetter))
        return SQLITE_INTEGER;
    if (reals.contains(typeLetter))
        return SQLITE_FLOAT;
    if (texts.contains(typeLetter))
        return SQLITE_TEXT;
    return SQLITE_BLOB;
}

// Whether a value paradox-dump printed is the value SQLite holds.
bool SameValue(const QJsonValue& dumped, const Cell& cell, const QString& typeLetter)
{
    if (dumped.isNull())
        return cell.type == SQLITE_NULL;
    if (cell.type != StorageClassOf(typeLetter))
        return false;
    switch (cell.type) {
    case SQLITE_INTEGER:
        if (dumped.isBool())
            return cell.value.toLongLong() == (dumped.toBool() ? 1 : 0);
        return dumped.isDouble() && dumped.toInteger(-1) == cell.value.toLongLong() &&
               dumped.toInteger(0) == cell.value.toLongLong();
    case SQLITE_FLOAT:
        return dumped.isDouble() && dumped.toDouble() == cell.value.toDouble();
    case SQLITE_TEXT:
        return dumped.isString() && dumped.toString() == cell.value.toString();
    case SQLITE_BLOB:
        return dumped.isObject() &&
               QByteArray::fromBase64(dumped.toObject()["base64"].toString().toLatin1()) == cell.value.toByteArray();
    }
    return false;
}

std::string Shown(const Cell& cell)
{
    std::ostringstream text;
    PrintTo(cell, &text);
    return text.str();
}

// Folders holding tables, each with its table files.
std::map<QString, QStringList> FoldersWithTables()
{
    std::map<QString, QStringList> folders;
    QDirIterator it(kRoot, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(".db", Qt::CaseInsensitive))
            folders[it.fileInfo().path()] << path;
    }
    return folders;
}

TEST(RealTablesExport, EveryFolderArrivesAsParadoxDumpReadsIt)
{
    if (!QDir(kRoot).exists())
        GTEST_SKIP() << "no real Paradox tables: " << kRoot.toStdString() << " does not exist";
    int tables = 0, refused = 0;
    for (const auto& [folder, files] : FoldersWithTables()) {
        SCOPED_TRACE(QDir(kRoot).relativeFilePath(folder).toStdString());
        QTemporaryDir out;
        const QString database = out.filePath("alle.sqlite");
        const ProgramRun run = Export({database, folder});

        std::set<QString> expectedTables;
        bool anyRefused = false;
        for (const QString& file : files) {
            const QString stem = QFileInfo(file).completeBaseName();
            SCOPED_TRACE(stem.toStdString());
            ++tables;
            const ProgramRun dump = Dump({file});
            if (dump.exitCode != 0) {
                // Refused: the same message, no table, and the other tables still there.
                ++refused;
                anyRefused = true;
                EXPECT_TRUE(run.err.contains(dump.err.trimmed())) << run.err.toStdString();
                // The path as the system writes it: on Windows with backslashes only, also the
                // part below the folder named.
                EXPECT_TRUE(run.err.contains('"' + QDir::toNativeSeparators(file) + '"')) << run.err.toStdString();
                EXPECT_TRUE(run.out.contains(stem + ": nicht übernommen\n")) << run.out.toStdString();
                continue;
            }
            expectedTables.insert(stem);
            const QList<QByteArray> lines = dump.out.toUtf8().split('\n');
            const QJsonArray header = QJsonDocument::fromJson(lines[0]).array();
            const qsizetype rowCount = lines.size() - 2;  // the header, and the empty rest after the last \n
            EXPECT_TRUE(run.out.contains(QString("%1: %2 %3\n").arg(stem).arg(rowCount).arg(rowCount == 1 ? "Zeile" : "Zeilen")))
                << run.out.toStdString();

            const std::vector<Column> columns = Columns(database, stem);
            ASSERT_EQ(columns.size(), std::size_t(header.size()));
            QStringList types;
            for (qsizetype c = 0; c < header.size(); ++c) {
                EXPECT_EQ(columns[c].name, header[c].toObject()["name"].toString());
                types << header[c].toObject()["type"].toString();
            }

            const Rows rows = Query(database, QString("SELECT * FROM \"%1\" ORDER BY rowid").arg(stem));
            ASSERT_EQ(qsizetype(rows.size()), rowCount);
            for (qsizetype r = 0; r < rowCount; ++r) {
                const QJsonArray dumped = QJsonDocument::fromJson(lines[r + 1]).array();
                ASSERT_EQ(qsizetype(rows[r].size()), dumped.size());
                for (qsizetype c = 0; c < dumped.size(); ++c) {
                    ASSERT_TRUE(SameValue(dumped[c], rows[r][c], types[c]))
                        << "row " << r << " column " << columns[c].name.toStdString() << " (" << types[c].toStdString()
                        << "): dump " << QJsonDocument(QJsonArray{dumped[c]}).toJson(QJsonDocument::Compact).toStdString()
                        << ", SQLite " << Shown(rows[r][c]);
                }
            }
        }
        EXPECT_EQ(run.exitCode, anyRefused ? 1 : 0) << run.err.toStdString();
        const QStringList names = expectedTables.empty() ? QStringList() : TableNames(database);
        EXPECT_EQ(std::set<QString>(names.begin(), names.end()), expectedTables);
    }
    EXPECT_GT(tables, 100);
    EXPECT_GE(refused, 1);  // not-a.DB (the protected tables go in, MEMBRE.DB without its .MB)
}

} // namespace
