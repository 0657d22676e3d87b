#include "SqliteDb.h"

#include "source/FileNames.h"

#include <sqlite3.h>

// A file name's bytes that are not UTF-8 would not survive the conversion: they are escaped.
SqliteError::SqliteError(const QString& message) : std::runtime_error(pdx::DisplayFileName(message).toStdString()) {}

QString QuoteSqlIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

SqliteConnection::~SqliteConnection() { Close(); }

void SqliteConnection::Open(const QString& fileName, int busyTimeoutMs, const QString& shownName)
{
    Close();
    fileName_ = shownName.isEmpty() ? fileName : shownName;
    // The name's own bytes, also where they are not UTF-8 (source/FileNames.h). A connection is
    // used by one thread at a time, so SQLite need not lock it for every call.
    const int rc = sqlite3_open_v2(pdx::EncodeFileName(fileName).constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        // sqlite3_open_v2 hands out a handle even on failure; it carries the message.
        const QString detail = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(rc));
        Close();
        throw SqliteError(QStringLiteral("Die SQLite-Datenbank \"%1\" kann nicht geöffnet werden (%2)")
                              .arg(fileName_, detail));
    }
    sqlite3_busy_timeout(db_, busyTimeoutMs);
}

void SqliteConnection::Close()
{
    if (db_) {
        // Statements are owned by RAII objects that end before the connection; sqlite3_close_v2
        // still closes cleanly should one be left.
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

void SqliteConnection::Execute(const QString& sql)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString detail = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
        sqlite3_free(message);
        throw SqliteError(QStringLiteral("Fehler in der SQLite-Datenbank \"%1\" bei \"%2\" (%3)")
                              .arg(fileName_, sql, detail));
    }
}

QString SqliteConnection::ErrorText(const QString& what) const
{
    const QString reason = QString::fromUtf8(sqlite3_errmsg(db_));
    if (what.isEmpty())
        return QStringLiteral("Fehler in der SQLite-Datenbank \"%1\" (%2)").arg(fileName_, reason);
    return QStringLiteral("Fehler in der SQLite-Datenbank \"%1\": %2 (%3)").arg(fileName_, what, reason);
}

void SqliteConnection::Fail(const QString& what) const { throw SqliteError(ErrorText(what)); }

SqliteStatement::SqliteStatement(SqliteConnection& connection, const QString& sql) : connection_(connection)
{
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(connection.Handle(), utf8.constData(), int(utf8.size()), &stmt_, nullptr) != SQLITE_OK)
        connection.Fail(QStringLiteral("\"%1\" ist nicht ausführbar").arg(sql));
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(stmt_); }

void SqliteStatement::Check(int rc, const char* what)
{
    if (rc != SQLITE_OK)
        connection_.Fail(QString::fromUtf8(what));
}

void SqliteStatement::BindInteger(int parameter, std::int64_t value)
{
    Check(sqlite3_bind_int64(stmt_, parameter, value), "Ganzzahl nicht übergeben");
}

void SqliteStatement::BindFloat(int parameter, double value)
{
    Check(sqlite3_bind_double(stmt_, parameter, value), "Gleitkommazahl nicht übergeben");
}

void SqliteStatement::BindText(int parameter, const QString& value)
{
    // An empty QString may have a null data pointer, which SQLite would store as NULL.
    static const char16_t empty = 0;
    const void* data = value.isEmpty() ? static_cast<const void*>(&empty) : static_cast<const void*>(value.utf16());
    Check(sqlite3_bind_text16(stmt_, parameter, data, int(value.size() * 2), SQLITE_STATIC),
          "Text nicht übergeben");
}

bool SqliteStatement::Step(const QString& what)
{
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // The reason must be taken before the reset clears it.
    const QString message = connection_.ErrorText(what);
    sqlite3_reset(stmt_);
    throw SqliteError(message);
}

int SqliteStatement::TryStep() { return sqlite3_step(stmt_); }

void SqliteStatement::Reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

QString SqliteStatement::ColumnText(int column) const
{
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt_, column));
    return text ? QString::fromUtf16(text, sqlite3_column_bytes16(stmt_, column) / 2) : QString();
}

std::int64_t SqliteStatement::ColumnInteger(int column) const { return sqlite3_column_int64(stmt_, column); }
