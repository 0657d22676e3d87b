#pragma once
// Temporary catalogs for the conversion tests: a root directory with Paradox tables written by
// pxlib, and a program directory holding a template made from the project's schema or from SQL
// of the test's own.

#include "PxWriter.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <vector>

class CatalogFixture {
public:
    CatalogFixture();

    QString Root() const { return root_.path() + QLatin1Char('/'); }
    QString ProgramDir() const { return program_.path() + QLatin1Char('/'); }
    QString Path(const QString& name) const { return Root() + name; }
    QString Target(const QString& catalog = QStringLiteral("Jazz")) const { return Path(catalog + "-Music.sqlite"); }

    // The template beside the program: the project's schema, or SQL of the test's own.
    void MakeTemplate(const QString& extraSql = QString());
    void MakeTemplateFromSql(const QString& sql);

    void WriteAlbums(const std::vector<pxw::Row>& rows, const QString& catalog = QStringLiteral("Jazz"),
                     std::vector<pxw::Field> fields = pxw::AlbumFields());
    void WriteTitles(const std::vector<pxw::Row>& rows, const QString& catalog = QStringLiteral("Jazz"),
                     std::vector<pxw::Field> fields = pxw::TitleFields());

private:
    QTemporaryDir root_;
    QTemporaryDir program_;
};

// Rows of an SQL query on a database file, each as a list of values (null as an invalid
// QVariant, integers as qlonglong, reals as double, texts as QString).
std::vector<QVariantList> Query(const QString& databaseFile, const QString& sql);

// Damages the Paradox table FILE as an unwritten block would: block BLOCK (from 1) all zero.
// Returns how many records the block held.
int ZeroTableBlock(const QString& file, int block);

// A whole-file fingerprint for "nothing changed" checks.
QByteArray FileDigest(const QString& fileName);

// An album row with the given number and artist and every other field blank.
pxw::Row AlbumRow(std::int64_t pnr, const std::string& interpret);
// A title row for album PNR with the given title and every other field blank.
pxw::Row TitleRow(std::int64_t pnr, const std::string& titel);
