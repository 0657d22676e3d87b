// The tree deletion's shared entry point; each platform walks the tree itself.
#include "FileUtils.h"

namespace FileUtils {

DeleteTreeCounts DeleteDirectoryTree(const QString& dir, bool removeBase)
{
    DeleteTreeCounts counts;
    DeleteDirectoryTree(dir, QString(), removeBase, counts.DirsRemoved, counts.FilesDeleted,
                        counts.Failures);
    return counts;
}

}  // namespace FileUtils
