#include "FileDialogState.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QSettings>
#include <QTreeView>
#include <QUrl>
#include <QVariantMap>

namespace FileDialogState {

namespace {

const QString kOrganization = QStringLiteral("QtProject");
const QString kGroup = QStringLiteral("FileDialog");

// Lives as a child of the dialog: QFileDialog writes its settings in its own destructor, and
// the dialog's children are destroyed after that.
class Restorer final : public QObject {
public:
    explicit Restorer(QObject* dialog) : QObject(dialog)
    {
        QSettings settings(QSettings::UserScope, kOrganization);
        settings.setFallbacksEnabled(false);
        FStoreWasEmpty = settings.allKeys().isEmpty();
        settings.beginGroup(kGroup);
        for (const QString& key : settings.allKeys())
            FBefore.insert(key, settings.value(key));
    }

    ~Restorer() override
    {
        {
            QSettings settings(QSettings::UserScope, kOrganization);
            settings.setFallbacksEnabled(false);
            settings.remove(kGroup);
            settings.beginGroup(kGroup);
            for (auto it = FBefore.constBegin(); it != FBefore.constEnd(); ++it)
                settings.setValue(it.key(), it.value());
            settings.endGroup();
            settings.sync();
        }
        QSettings settings(QSettings::UserScope, kOrganization);
        settings.setFallbacksEnabled(false);
        if (FStoreWasEmpty && settings.allKeys().isEmpty())
            RemoveEmptyStore(settings);
    }

private:
    QVariantMap FBefore;
    bool FStoreWasEmpty = false;
};

} // namespace

void KeepNone(QFileDialog& dialog)
{
    new Restorer(&dialog);
    dialog.setHistory({});
    // Qt's places when it has no settings: the computer (its drives) and the home folder.
    dialog.setSidebarUrls({QUrl(QStringLiteral("file:")), QUrl::fromLocalFile(QDir::homePath())});
    dialog.setViewMode(QFileDialog::Detail);
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView")))
        view->sortByColumn(0, Qt::AscendingOrder);
}

} // namespace FileDialogState
