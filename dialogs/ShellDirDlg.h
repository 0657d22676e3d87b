#pragma once
// The folder chooser: a modal window in which the user picks a directory.

#include <QDialog>
#include <QString>

class TShellDirDialog : public QDialog {
    Q_OBJECT
public:
    explicit TShellDirDialog(QWidget* parent = nullptr);

    // Shows the window modally; true when the user confirmed. DIR: on entry the directory to
    // start in, on a confirmed return the chosen directory with one trailing delimiter.
    bool Execute(const QString& ATitle, bool Hidden, bool FileView, bool ZipAsFiles, const QString& HomeDir,
                 QString& Dir);
};
