#pragma once
// The program's main window: the root directory and catalog name of a conversion, the two
// buttons that fill them, the "Konvertieren" button and the status box.

#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>

class QFileDialog;
class QImage;
class QIcon;
class QLabel;
class TStatusBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class TShellDirDialog;

// Stand-ins for tests; every empty member leaves the real behaviour in place.
struct TMainFormHooks {
    // Whether the Paradox engine can run (else ProgramSettings::EngineAvailable()).
    std::function<bool()> engineAvailable;
    // Replaces the folder chooser's Execute, with its arguments.
    std::function<bool(const QString& ATitle, bool Hidden, bool FileView, bool ZipAsFiles, const QString& HomeDir,
                       QString& Dir)>
        executeFolderChooser;
};

class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(const TMainFormHooks& hooks = {}, QWidget* parent = nullptr);
    // Runs FormDestroy: the settings are written.
    ~TMainForm() override;

    // Controls.
    QLabel* lbRootDir;
    QLineEdit* edRootDir;
    QToolButton* sbRootDir;
    QLabel* lbKatalog;
    QLineEdit* edKatalog;
    QToolButton* sbKatalog;
    QPushButton* bbConvert;
    TStatusBox* stStatus;
    QFileDialog* OpenDialog;

    // Fixed when the window is created.
    QString PrgPath;
    QString PrgName;
    QString UserPath;
    QString AppDataPath;
    QString IniName;
    bool BdeAvail = false;

    // The folder chooser of the root directory selection; made by main() after this window.
    TShellDirDialog* ShellDirDialog = nullptr;

    // The file name of the information page beside the program.
    static const QString InfoPageName;

    void FormCreate();
    void FormShow();
    void FormDestroy();
    void sbKatalogClick();
    void sbRootDirClick();
    void bbConvertClick();
    void SelectCatalog();

protected:
    void showEvent(QShowEvent* event) override;
    // Return and Enter press the focused "Konvertieren", as Space does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();

    TMainFormHooks FHooks;
    bool FShown = false;
    // The position read from the settings, kept where the platform reports none (Wayland).
    QPoint FSavedPos;
};

namespace ConvertMain {

// The two states of an image button from a strip holding the normal image and, to its right,
// the greyed one, each as wide as the strip is high. The colour of the strip's lower-left pixel
// is transparent.
QIcon GlyphIcon(const QImage& strip);

} // namespace ConvertMain
