#pragma once
// Thin RAII layer over libsqlite3 for the catalog target: a connection and prepared
// statements that raise SqliteError with a German text naming the database file.

#include <QString>

#include <cstdint>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

class SqliteError : public std::runtime_error {
public:
    explicit SqliteError(const QString& message);
    QString Text() const { return QString::fromUtf8(what()); }
};

class SqliteStatement;

// NAME as an SQL identifier in double quotes, inner quotes doubled ("Preis (DM)" -> "\"Preis (DM)\"").
QString QuoteSqlIdentifier(const QString& name);

class SqliteConnection {
public:
    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Opens FILENAME for reading and writing (created when missing) with the given busy timeout.
    // Messages name the database SHOWNNAME (FILENAME when empty): the file a temporary one becomes.
    void Open(const QString& fileName, int busyTimeoutMs, const QString& shownName = QString());
    void Close();
    bool IsOpen() const { return db_ != nullptr; }

    // Runs one or more statements that bind no parameters.
    void Execute(const QString& sql);

    const QString& FileName() const { return fileName_; }
    sqlite3* Handle() const { return db_; }

    // Raises "Fehler in der SQLite-Datenbank "<file>": <what> (<SQLite's reason>)".
    [[noreturn]] void Fail(const QString& what) const;
    QString ErrorText(const QString& what) const;

private:
    sqlite3* db_ = nullptr;
    QString fileName_;
};

class SqliteStatement {
public:
    SqliteStatement(SqliteConnection& connection, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters count from 1, as in SQLite. Text is bound without a copy: it must stay
    // alive and unchanged until Step() returns.
    void BindInteger(int parameter, std::int64_t value);
    void BindFloat(int parameter, double value);
    void BindText(int parameter, const QString& value);

    // Runs the statement; true while it delivers rows. Raises SqliteError on failure, its text
    // naming the database file, WHAT failed (when given) and SQLite's own reason.
    bool Step(const QString& what = QString());
    // Runs the statement and returns SQLite's result code without raising, so a caller can word
    // the failure itself (Connection().Fail(...)) while SQLite's reason is still available.
    int TryStep();
    SqliteConnection& Connection() const { return connection_; }
    // Makes the statement ready for the next run and releases the bound values.
    void Reset();

    QString ColumnText(int column) const;
    std::int64_t ColumnInteger(int column) const;
    // For binding in bulk without the QString conversions above.
    sqlite3_stmt* Handle() const { return stmt_; }

private:
    void Check(int rc, const char* what);

    SqliteConnection& connection_;
    sqlite3_stmt* stmt_ = nullptr;
};
