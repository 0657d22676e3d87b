#pragma once
// The rules behind the main window's two selection buttons: what a file chosen in the
// file-open dialog means for the root directory and the catalog name, and where the folder
// chooser starts.

#include <QString>

namespace CatalogSelection {

// The file-open dialog's filter: description and pattern, and the pattern spelled so that a
// case-sensitive file system lists "x-album.DB" too.
inline const QString FilterName = QStringLiteral("Plattenkataloge");
inline const QString AlbumPattern = QStringLiteral("*-Album.db");
QString CaseInsensitivePattern(const QString& pattern);
QString FileDialogFilter();

struct ChosenCatalog {
    QString directory;  // up to and including the last delimiter
    QString catalog;    // the name before its first "-Album.db" (any case); empty without one
    bool sameRoot = false;  // the directory is the root field's, exactly as this platform names files
};

// Splits FILENAME chosen in the dialog and compares its directory with the root field's text.
ChosenCatalog ResolveChosenFile(const QString& rootFieldText, const QString& fileName);

// Where the folder chooser starts: the root field's text when it names an existing directory,
// else PERSONALFOLDER (the documents folder).
QString RootDirStart(const QString& rootFieldText, const QString& personalFolder);

} // namespace CatalogSelection
