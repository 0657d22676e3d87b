#pragma once
// Qt's file dialog keeps its state (the folders of its history, the last folder visited, the
// sidebar's places, the list's view and columns) in settings that every Qt program of the user
// shares: the organisation "QtProject", group "FileDialog"; on Windows the registry key
// HKEY_CURRENT_USER\Software\QtProject\OrganizationDefaults\FileDialog, elsewhere the file
// QtProject.conf in the user's configuration folder. Qt reads them when a dialog is made and
// writes them when it is destroyed. The program keeps no such state of its own: its settings
// file holds all it keeps.
//
// FileDialogState.cpp; the place that holds the shared settings is removed by
// FileDialogStatePosix.cpp or FileDialogStateWin.cpp.

class QFileDialog;
class QSettings;

namespace FileDialogState {

// Gives the new DIALOG the program's own state in place of what other programs left (no
// history, Qt's usual places in the sidebar, the detail view sorted by name), and sees to it
// that destroying it leaves the shared settings as they were before it was made: what it
// writes is taken back, and when there were none, none are left, nor the key or file that
// held them.
void KeepNone(QFileDialog& dialog);

// Removes the registry key or file SETTINGS (QtProject's, user scope) is kept in, when it holds
// nothing. The platform's part.
void RemoveEmptyStore(const QSettings& settings);

} // namespace FileDialogState
