#pragma once
// What a catalog name stands for in its root directory, checked by the conversion command
// before it asks or makes anything: the name itself, its spelling on the disk, and whether the
// catalog file would be one of the catalog's own source files.

#include <QString>

namespace CatalogSources {

// Why NAME cannot name a catalog, in German, naming it; empty when it can. A catalog is given
// by its name alone, never with a folder: refused are the characters that make a path
// (pdx::PathCharacters: "/", on Windows also "\" and ":"), control characters (NUL among them),
// a blank at the start or the end, and "." and "..". The empty name passes (its tables are
// "-Album.db" and "-Titel.db").
QString NameProblem(const QString& name);

// The catalog name as the album table in ROOT spells it, where it differs from NAME in its
// Unicode normal form alone (a folder copied from a Mac holds decomposed umlauts; the catalog
// file then gets the spelling of its tables, not a second look-alike name); NAME otherwise,
// also when the two differ in case.
QString NameAsStored(const QString& root, const QString& name);

// The source file of catalog NAME in ROOT that TARGET is (the same file: through a link, or a
// second hard link): one of its two tables or a file of theirs (pdx::TableFiles: .MB, .PX,
// indexes); empty when TARGET is none of them or is no regular file.
QString SourceFileAt(const QString& target, const QString& root, const QString& name);

}  // namespace CatalogSources
