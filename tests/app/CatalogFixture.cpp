#include "CatalogFixture.h"

#include <sqlite3.h>

#include <QCryptographicHash>
#include <QFile>

#include <stdexcept>

namespace {

void ExecSql(const QString& file, const QString& sql)
{
    sqlite3* db = nullptr;
    char* error = nullptr;
    int rc = sqlite3_open(file.toUtf8().constData(), &db);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    const std::string message = error ? error : (db ? sqlite3_errmsg(db) : "open failed");
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error("SQL of the test failed: " + message);
}

QString SchemaSql()
{
    QFile schema(QStringLiteral(KK_SCHEMA_FILE));
    if (!schema.open(QIODevice::ReadOnly))
        throw std::runtime_error("schema file missing");
    return QString::fromUtf8(schema.readAll());
}

}  // namespace

CatalogFixture::CatalogFixture()
{
    if (!root_.isValid() || !program_.isValid())
        throw std::runtime_error("no temporary directory");
}

void CatalogFixture::MakeTemplate(const QString& extraSql) { MakeTemplateFromSql(SchemaSql() + extraSql); }

void CatalogFixture::MakeTemplateFromSql(const QString& sql)
{
    const QString file = ProgramDir() + QStringLiteral("def-Music.sqlite");
    QFile::remove(file);
    ExecSql(file, sql);
}

void CatalogFixture::WriteAlbums(const std::vector<pxw::Row>& rows, const QString& catalog, std::vector<pxw::Field> fields)
{
    pxw::TableWriter writer(Path(catalog + "-Album.db").toStdString(), std::move(fields), {.keyFields = 1});
    for (const pxw::Row& row : rows)
        writer.Add(row);
}

void CatalogFixture::WriteTitles(const std::vector<pxw::Row>& rows, const QString& catalog, std::vector<pxw::Field> fields)
{
    pxw::TableWriter writer(Path(catalog + "-Titel.db").toStdString(), std::move(fields));
    for (const pxw::Row& row : rows)
        writer.Add(row);
}

std::vector<QVariantList> Query(const QString& databaseFile, const QString& sql)
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
        throw std::runtime_error("query failed: " + message);
    }
    std::vector<QVariantList> rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QVariantList row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_NULL: row << QVariant(); break;
            case SQLITE_INTEGER: row << QVariant(qlonglong(sqlite3_column_int64(stmt, c))); break;
            case SQLITE_FLOAT: row << QVariant(sqlite3_column_double(stmt, c)); break;
            default:
                row << QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                                  sqlite3_column_bytes(stmt, c)));
            }
        }
        rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

int ZeroTableBlock(const QString& file, int block)
{
    QFile table(file);
    if (!table.open(QIODevice::ReadWrite))
        throw std::runtime_error("table missing");
    QByteArray bytes = table.readAll();
    auto le16 = [&](qsizetype at) { return int(std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8); };
    const int blockSize = std::uint8_t(bytes[0x05]) * 1024;
    const qsizetype start = le16(0x02) + qsizetype(block - 1) * blockSize;
    if (start + blockSize > bytes.size())
        throw std::runtime_error("the table has no such block");
    const int records = std::int16_t(le16(start + 4)) / le16(0x00) + 1;
    table.seek(start);
    table.write(QByteArray(blockSize, '\0'));
    return records;
}

QByteArray FileDigest(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

pxw::Row AlbumRow(std::int64_t pnr, const std::string& interpret)
{
    pxw::Row row(pxw::AlbumFields().size(), pxw::Blank{});
    row[0] = pnr;
    row[1] = interpret;
    return row;
}

pxw::Row TitleRow(std::int64_t pnr, const std::string& titel)
{
    pxw::Row row(pxw::TitleFields().size(), pxw::Blank{});
    row[0] = pnr;
    row[3] = titel;
    return row;
}
