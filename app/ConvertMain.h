#pragma once
// The program's main window: the root directory and catalog name of a conversion, the two
// buttons that fill them, the "Konvertieren" button and the status box.

#include <QPoint>
#include <QString>
#include <QWidget>

#include "CatalogTransfer.h"

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class QFileDialog;
class QImage;
class QIcon;
class QLabel;
class TStatusBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTimer;
class QUrl;
class TConversion;
class ConvertPrompts;
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
    // Called on the transfer's thread with every progress report; tests slow the transfer with it.
    std::function<void(const TransferProgress&)> transferProgress;
    // Opens the information page (else QDesktopServices::openUrl); false when it could not.
    std::function<bool(const QUrl&)> openUrl;
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
    // Shown below the status box while a conversion runs.
    QProgressBar* pbProgress;
    QPushButton* bbCancel;
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

    // Whether a conversion's transfer is running; the window stays responsive meanwhile.
    bool Converting() const { return FConversion != nullptr; }
    // Stops a running transfer; the conversion ends as cancelled soon after.
    void CancelConversion();

    // The height by which the window grows while a conversion runs.
    static constexpr int kRunRowHeight = 36;

signals:
    // A conversion that ran its transfer has ended, whichever way.
    void conversionEnded();

protected:
    void showEvent(QShowEvent* event) override;
    // During a conversion: asks whether to cancel it (not when the program is told to end by a
    // signal); the window closes once the transfer has stopped.
    void closeEvent(QCloseEvent* event) override;
    // Return and Enter press the focused "Konvertieren", as Space does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void StartTransfer();
    void TransferEnded();
    void ShowRunning(bool running);
    void ShowProgress();
    void ShowInfoPage();
    // Moves the window back inside its monitor's work area where it reaches past it.
    void KeepInsideWorkArea();
    void FitOpenDialogColumns();

    TMainFormHooks FHooks;
    bool FShown = false;
    // The position read from the settings, kept where the platform reports none (Wayland).
    QPoint FSavedPos;

    // The running conversion and its transfer's thread.
    std::unique_ptr<ConvertPrompts> FPrompts;
    std::unique_ptr<TConversion> FConversion;
    std::thread FWorker;
    TransferCounts FCounts;
    std::exception_ptr FFailure;
    std::atomic<bool> FCancel{false};
    // The last progress reported by the transfer, read by FProgressTimer.
    std::atomic<std::uint64_t> FAlbumsTotal{0}, FTitlesTotal{0}, FAlbumsDone{0}, FTitlesDone{0};
    std::atomic<bool> FTablesOpen{false};
    QTimer* FProgressTimer = nullptr;
    QShortcut* FEscape = nullptr;
    QString FStatusBefore;
    bool FGrown = false;
    // Where the window stood before growing moved it up, and where that put it (null: not moved).
    QPoint FPosBeforeGrow, FPosAfterGrow;
    bool FCloseWhenDone = false;
};

namespace ConvertMain {

// The two states of an image button from a strip holding the normal image and, to its right,
// the greyed one, each as wide as the strip is high. The colour of the strip's lower-left pixel
// is transparent.
QIcon GlyphIcon(const QImage& strip);

} // namespace ConvertMain
