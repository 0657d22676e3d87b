#pragma once
// Running paradox2sqlite and paradox-dump, and reading back what landed in SQLite.

#include <sqlite3.h>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <stdexcept>
#include <vector>

namespace exporttest {

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

inline ProgramRun RunProgram(const QString& program, const QStringList& args)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForFinished(120000))
        throw std::runtime_error("did not finish: " + program.toStdString());
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

inline ProgramRun Export(const QStringList& args) { return RunProgram(QStringLiteral(KK_PARADOX2SQLITE), args); }
inline ProgramRun Dump(const QStringList& args) { return RunProgram(QStringLiteral(KK_PARADOX_DUMP), args); }

// One value as SQLite holds it: its storage class (SQLITE_INTEGER ... SQLITE_NULL) and the value
// (qlonglong, double, QString or QByteArray; invalid for NULL).
struct Cell {
    int type = SQLITE_NULL;
    QVariant value;
    bool operator==(const Cell&) const = default;
};

inline Cell Null() { return {SQLITE_NULL, {}}; }
inline Cell Integer(qlonglong v) { return {SQLITE_INTEGER, v}; }
inline Cell Real(double v) { return {SQLITE_FLOAT, v}; }
inline Cell Text(const char* utf8) { return {SQLITE_TEXT, QString::fromUtf8(utf8)}; }
inline Cell Blob(const QByteArray& bytes) { return {SQLITE_BLOB, bytes}; }

inline void PrintTo(const Cell& cell, std::ostream* os)
{
    *os << "{" << cell.type << ", " << cell.value.toString().toStdString() << "}";
}

using Rows = std::vector<std::vector<Cell>>;

inline Rows Query(const QString& databaseFile, const QString& sql)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databaseFile.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + databaseFile.toStdString());
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error("query failed: " + message + ": " + sql.toStdString());
    }
    Rows rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<Cell> row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            const int type = sqlite3_column_type(stmt, c);
            switch (type) {
            case SQLITE_INTEGER:
                row.push_back({type, qlonglong(sqlite3_column_int64(stmt, c))});
                break;
            case SQLITE_FLOAT:
                row.push_back({type, sqlite3_column_double(stmt, c)});
                break;
            case SQLITE_TEXT:
                row.push_back({type, QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                                       sqlite3_column_bytes(stmt, c))});
                break;
            case SQLITE_BLOB:
                row.push_back({type, QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, c)),
                                                sqlite3_column_bytes(stmt, c))});
                break;
            default:
                row.push_back(Null());
            }
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

// The tables of a database file, in name order.
inline QStringList TableNames(const QString& databaseFile)
{
    QStringList names;
    for (const auto& row : Query(databaseFile, "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name"))
        names << row[0].value.toString();
    return names;
}

// Name, declared type and key position (0 when not in the key) of each column.
struct Column {
    QString name;
    QString type;
    int key = 0;
    bool operator==(const Column&) const = default;
};

inline void PrintTo(const Column& c, std::ostream* os)
{
    *os << c.name.toStdString() << " " << c.type.toStdString() << " " << c.key;
}

inline std::vector<Column> Columns(const QString& databaseFile, const QString& table)
{
    QString quoted = table;
    quoted.replace('"', "\"\"");
    std::vector<Column> columns;
    for (const auto& row : Query(databaseFile, "PRAGMA table_info(\"" + quoted + "\")"))
        columns.push_back({row[1].value.toString(), row[2].value.toString(), int(row[5].value.toLongLong())});
    return columns;
}

} // namespace exporttest
