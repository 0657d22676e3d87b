#pragma once
// The files a Paradox table consists of. Beside the table (.DB) lie, under its stem, its memo
// file (.MB), its primary index (.PX) and its secondary indexes (.Xnn and .Ynn for one field,
// .XGn and .YGn for several; n a hexadecimal digit), in any case.

#include <QString>
#include <QStringList>

namespace pdx {

// Whether FILENAME (a name or a path) carries one of the extensions above.
bool IsParadoxFileName(const QString& fileName);

// The files of the table TABLEPATH: the table itself and every regular file (links followed)
// in its folder whose name is the table's stem with one of the extensions above, the stem
// compared as FoldedFileName compares names. Paths as the folder's path joined with each name.
QStringList TableFiles(const QString& tablePath);

} // namespace pdx
