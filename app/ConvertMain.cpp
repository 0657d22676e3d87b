#include "ConvertMain.h"

#include "ButtonGlyphs.h"
#include "CatalogSelection.h"
#include "ConvertCommand.h"
#include "DataFiles.h"
#include "EndOnSignals.h"
#include "FailureGuard.h"
#include "FileDialogState.h"
#include "InitProg.h"
#include "MainFormAccess.h"
#include "MsgDialogs.h"
#include "ProgramSettings.h"
#include "ShellDirDlg.h"
#include "ShellDirTree.h"
#include "StatusBox.h"
#include "source/FileNames.h"
#include "util/WinShell.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QLocale>
#include <QProgressBar>
#include <QShortcut>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QTreeView>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <limits>

using MsgDialogs::DialogButton;
using MsgDialogs::DialogMonitor;

const QString TMainForm::InfoPageName = QStringLiteral("katalogkonverter.html");

namespace {

// The catalog selection's columns "Größe" and "Änderungsdatum" in German, as the folder chooser's
// file list writes them, whatever the system's language.
class GermanFileColumns final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role == Qt::DisplayRole && files != nullptr && (index.column() == 1 || index.column() == 3)) {
            const QModelIndex source = mapToSource(index);
            if (index.column() == 1)
                return files->isDir(source) ? QString() : ShellDirDlg::TFileListModel::SizeText(files->size(source));
            return ShellDirDlg::TFileListModel::DateText(files->lastModified(source));
        }
        return QIdentityProxyModel::data(index, role);
    }
};

const char kEngineMissing[] =
    "Zum Konvertieren wird die Borland Data Base Engine benötigt!\r\nWeitere Hinweise auf der Home-Page ...";

// Questions at the "Konvertieren" button, errors centred: the window's side of the command.
// Bytes of a file name that are not UTF-8 are shown escaped ("GR\x99SSE").
class WindowPrompts final : public ConvertPrompts {
public:
    explicit WindowPrompts(const QWidget* button) : FButton(button) {}

    bool ConfirmOverwrite(const QString& question) override
    {
        return MsgDialogs::ConfirmDialogAt(MsgDialogs::BottomRightOfControl(FButton), pdx::DisplayFileName(question),
                                           DialogButton::Yes, DialogMonitor::ActiveForm);
    }
    // Damaged sources: the readable rows only when the user says Yes; No is the default.
    bool ConfirmSalvage(const SalvageQuestion& salvage) override
    {
        return MsgDialogs::ConfirmDialogAt(MsgDialogs::BottomRightOfControl(FButton),
                                           pdx::DisplayFileName(salvage.question), DialogButton::No,
                                           DialogMonitor::ActiveForm);
    }
    // The command's message, and below it why, when that is known.
    void ShowError(const QString& message, const QString& cause) override
    {
        MsgDialogs::ErrorDialog(pdx::DisplayFileName(cause.isEmpty() ? message : message + QStringLiteral("\r\n") + cause),
                                DialogMonitor::ActiveForm);
    }

private:
    const QWidget* FButton;
};

// How often the window shows the transfer's progress.
constexpr int kProgressIntervalMs = 100;

QString Count(std::uint64_t number)
{
    return QLocale(QLocale::German).toString(qulonglong(number));
}

QToolButton* ImageButton(QWidget* parent, ButtonGlyphs::Glyph glyph, const QRect& geometry)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(QSize(16, 16));
    button->setIcon(ButtonGlyphs::Icon(glyph));
    button->setGeometry(geometry);
    return button;
}

// A label standing above its edit, its bottom 3 pixels above the edit's top.
QLabel* LabelAbove(QWidget* parent, const QString& text, QLineEdit* edit)
{
    constexpr int kLabelHeight = 13;
    auto* label = new QLabel(text, parent);
    label->setBuddy(edit);
    label->setGeometry(edit->x(), edit->y() - 3 - kLabelHeight, label->sizeHint().width(), kLabelHeight);
    return label;
}

} // namespace

TMainForm::TMainForm(const TMainFormHooks& hooks, QWidget* parent) : QWidget(parent), FHooks(hooks)
{
    BuildControls();
    FPrompts = std::make_unique<WindowPrompts>(bbConvert);
    FailureGuard::Run([this] { FormCreate(); });
}

TMainForm::~TMainForm()
{
    // A conversion still running (the program ends without the window having closed) is
    // cancelled, and its new file goes with it.
    if (FWorker.joinable()) {
        FCancel = true;
        FWorker.join();
    }
    if (FConversion) {
        try {
            // A transfer that ended with damaged sources waits for an answer nobody gives now:
            // its rows are not taken.
            if (!FFailure && !FCounts.losses.empty())
                FFailure = std::make_exception_ptr(TransferCancelled());
            FConversion->Finish(FCounts, FFailure);
        } catch (...) {
        }
        FConversion.reset();
    }
    FailureGuard::Run([this] { FormDestroy(); });
}

void TMainForm::BuildControls()
{
    setWindowTitle(QStringLiteral("Musik-Katalog von Paradox nach SQLite konvertieren "));
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    setFont(font);
    setBackgroundRole(QPalette::Button);
    resize(418, 162);

    edRootDir = new QLineEdit(this);
    edRootDir->setObjectName(QStringLiteral("edRootDir"));
    edRootDir->setGeometry(15, 25, 241, 21);
    // Access keys: S and N for the fields, K for the button; Abbrechen has Escape.
    lbRootDir = LabelAbove(this, QStringLiteral("&Stammverzeichnis der Kataloge"), edRootDir);
    sbRootDir = ImageButton(this, ButtonGlyphs::Glyph::FolderTree, QRect(260, 25, 24, 24));
    sbRootDir->setObjectName(QStringLiteral("sbRootDir"));

    edKatalog = new QLineEdit(this);
    edKatalog->setObjectName(QStringLiteral("edKatalog"));
    edKatalog->setGeometry(15, 65, 241, 21);
    lbKatalog = LabelAbove(this, QStringLiteral("&Name des Katalogs"), edKatalog);
    sbKatalog = ImageButton(this, ButtonGlyphs::Glyph::OpenFolder, QRect(260, 65, 24, 24));
    sbKatalog->setObjectName(QStringLiteral("sbKatalog"));

    bbConvert = new QPushButton(QStringLiteral("&Konvertieren"), this);
    bbConvert->setObjectName(QStringLiteral("bbConvert"));
    bbConvert->setAutoDefault(false);
    bbConvert->setDefault(false);
    bbConvert->setGeometry(290, 45, 116, 41);
    bbConvert->installEventFilter(this);

    stStatus = new TStatusBox(this);
    stStatus->setObjectName(QStringLiteral("stStatus"));
    stStatus->setGeometry(15, 100, 391, 46);

    // The run row below the status box, shown only while a conversion runs.
    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setGeometry(15, 158, 281, 22);
    pbProgress->setTextVisible(true);
    pbProgress->hide();
    bbCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbCancel->setAutoDefault(false);
    bbCancel->setDefault(false);
    // Not focused by the run's start, so that a key typed while waiting cancels nothing;
    // Escape cancels instead.
    bbCancel->setFocusPolicy(Qt::ClickFocus);
    bbCancel->setCursor(Qt::ArrowCursor);
    bbCancel->setGeometry(306, 156, 100, 26);
    bbCancel->hide();
    FEscape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    FEscape->setEnabled(false);
    FProgressTimer = new QTimer(this);
    FProgressTimer->setInterval(kProgressIntervalMs);
    connect(FProgressTimer, &QTimer::timeout, this, &TMainForm::ShowProgress);

    setTabOrder(bbConvert, edKatalog);
    setTabOrder(edKatalog, edRootDir);
    bbConvert->setFocus();

    OpenDialog = new QFileDialog(this);
    OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
    // The toolkit's own dialog, so that the filter lists "x-album.DB" on every desktop.
    OpenDialog->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog->setOption(QFileDialog::HideNameFilterDetails);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    // Sizes and dates in German (the file-system model writes them in the system's language),
    // and columns as wide as their texts.
    auto* germanColumns = new GermanFileColumns(OpenDialog);
    OpenDialog->setProxyModel(germanColumns);
    if (auto* files = qobject_cast<QFileSystemModel*>(germanColumns->sourceModel()))
        connect(files, &QFileSystemModel::directoryLoaded, this, [this] { FitOpenDialogColumns(); },
                Qt::QueuedConnection);
    // Neither shaped by what other Qt programs left in the settings they share with it, nor
    // leaving anything there.
    FileDialogState::KeepNone(*OpenDialog);

    const auto guarded = [this](void (TMainForm::*handler)()) {
        return [this, handler] { FailureGuard::Run([this, handler] { (this->*handler)(); }); };
    };
    connect(bbConvert, &QPushButton::clicked, this, guarded(&TMainForm::bbConvertClick));
    connect(sbKatalog, &QToolButton::clicked, this, guarded(&TMainForm::sbKatalogClick));
    connect(sbRootDir, &QToolButton::clicked, this, guarded(&TMainForm::sbRootDirClick));
    connect(bbCancel, &QPushButton::clicked, this, &TMainForm::CancelConversion);
    connect(FEscape, &QShortcut::activated, this, &TMainForm::CancelConversion);
    MainFormAccess::Prepare(this);
}

void TMainForm::FormCreate()
{
    const ProgramSettings::ProgramPaths paths = ProgramSettings::DerivePaths(InitProg::ExecutablePath());
    PrgPath = paths.PrgPath;
    PrgName = paths.PrgName;
    AppDataPath = paths.AppDataPath;
    UserPath = paths.UserPath;
    IniName = paths.IniName;

    const ProgramSettings::MainSettings settings = ProgramSettings::ReadMainSettings(IniName, UserPath);
    FSavedPos = QPoint(settings.Left, settings.Top);
    move(FSavedPos);
    // A position saved on a monitor that is gone would leave the window out of sight: it then
    // opens at the default place of the primary screen.
    if (QGuiApplication::screenAt(FSavedPos + QPoint(width() / 2, 10)) == nullptr) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().topLeft() + QPoint(50, 50));
    }
    edRootDir->setText(settings.Directory);
    edKatalog->setText(settings.Katalog);

    BdeAvail = FHooks.engineAvailable ? FHooks.engineAvailable() : ProgramSettings::EngineAvailable();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    // After the window is on the screen, as a handler of its own.
    QTimer::singleShot(0, this, [this] { FailureGuard::Run([this] { FormShow(); }); });
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == bbConvert && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && bbConvert->isEnabled()) {
            bbConvert->animateClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::FormShow()
{
    if (!BdeAvail) {
        MsgDialogs::ErrorDialog(QString::fromUtf8(kEngineMissing), DialogMonitor::ActiveForm);
        ShowInfoPage();
        close();
        return;
    }
    KeepInsideWorkArea();
    if (edKatalog->text().isEmpty())
        SelectCatalog();
}

void TMainForm::ShowInfoPage()
{
    const QString page = DataFiles::Locate(PrgPath, InfoPageName, DataFiles::InfoPageShareDirs());
    QString problem;
    if (!QFileInfo(page).isFile()) {
        problem = QStringLiteral("Die Informationsseite wurde nicht gefunden:\r\n%1");
    } else {
        const QUrl url = QUrl::fromLocalFile(page);
        const bool opened = FHooks.openUrl ? FHooks.openUrl(url) : QDesktopServices::openUrl(url);
        // Without a program that opens web pages (xdg-open) nothing would be shown, and nothing said.
        if (!opened)
            problem = QStringLiteral("Die Informationsseite konnte nicht geöffnet werden, es fehlt ein Programm, "
                                     "das sie anzeigt.\r\nSie liegt hier:\r\n%1");
    }
    if (!problem.isEmpty())
        MsgDialogs::ErrorDialog(problem.arg(pdx::DisplayFileName(QDir::toNativeSeparators(page))),
                                DialogMonitor::ActiveForm);
}

void TMainForm::KeepInsideWorkArea()
{
    if (isVisible() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        MsgDialogs::FitFormToWorkArea(this);
}

void TMainForm::FitOpenDialogColumns()
{
    // Size, type and date as wide as their headings and texts, the names in the rest, also
    // when the dialog is resized.
    auto* view = OpenDialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    if (view == nullptr || view->model() == nullptr)
        return;
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < header->count(); ++c) {
        if (!header->isSectionHidden(c))
            view->resizeColumnToContents(c);
    }
}

void TMainForm::FormDestroy()
{
    // Wayland lets no program place or locate its windows: what pos() says there is made up,
    // and the position from the last session on another desktop stays.
    const QPoint position =
        QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ? FSavedPos : pos();
    ProgramSettings::MainSettings settings;
    settings.Left = position.x();
    settings.Top = position.y();
    settings.Directory = edRootDir->text();
    settings.Katalog = edKatalog->text();
    ProgramSettings::WriteMainSettings(IniName, settings);
}

void TMainForm::sbKatalogClick() { SelectCatalog(); }

void TMainForm::SelectCatalog()
{
    OpenDialog->setDirectory(edRootDir->text());
    OpenDialog->setWindowTitle(QStringLiteral("Katalog auswählen"));
    OpenDialog->setNameFilter(CatalogSelection::FileDialogFilter());
    // File name := empty: the toolkit's dialog would offer the last chosen name again.
    if (auto* nameField = OpenDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        nameField->clear();
    OpenDialog->selectFile(QString());
    if (OpenDialog->exec() != QDialog::Accepted)
        return;
    const QStringList files = OpenDialog->selectedFiles();
    if (files.isEmpty())
        return;

    const CatalogSelection::ChosenCatalog chosen =
        CatalogSelection::ResolveChosenFile(edRootDir->text(), QDir::toNativeSeparators(files.first()));
    if (!chosen.sameRoot) {
        if (!MsgDialogs::ConfirmDialogAt(MsgDialogs::BottomRightOfControl(bbConvert),
                                         QStringLiteral("Stammverzeichnis wechseln?"), DialogButton::Yes,
                                         DialogMonitor::ActiveForm))
            return;
        edRootDir->setText(chosen.directory);
    }
    edKatalog->setText(chosen.catalog);
}

void TMainForm::sbRootDirClick()
{
    const QString home = WinShell::GetPersonalFolderPath();
    QString Dir = CatalogSelection::RootDirStart(edRootDir->text(), home);
    const QString title = QStringLiteral("Standardverzeichnis für Kataloge");
    bool confirmed = false;
    if (FHooks.executeFolderChooser)
        confirmed = FHooks.executeFolderChooser(title, false, true, true, home, Dir);
    else if (ShellDirDialog != nullptr)
        confirmed = ShellDirDialog->Execute(title, false, true, true, home, Dir);
    if (confirmed)
        edRootDir->setText(Dir);
}

void TMainForm::bbConvertClick()
{
    if (Converting())
        return;
    ConvertRequest request;
    request.root = edRootDir->text();
    request.catalog = edKatalog->text();
    request.programDir = PrgPath;
    request.control.cancel = &FCancel;
    request.control.progress = [this](const TransferProgress& progress) {
        FAlbumsTotal.store(progress.albumsTotal, std::memory_order_relaxed);
        FTitlesTotal.store(progress.titlesTotal, std::memory_order_relaxed);
        FAlbumsDone.store(progress.albumsDone, std::memory_order_relaxed);
        FTitlesDone.store(progress.titlesDone, std::memory_order_relaxed);
        FTablesOpen.store(true, std::memory_order_release);
        if (FHooks.transferProgress)
            FHooks.transferProgress(progress);
    };
    auto conversion = std::make_unique<TConversion>(request, *FPrompts);
    if (!conversion->Prepare())
        return;
    FConversion = std::move(conversion);
    StartTransfer();
}

void TMainForm::StartTransfer()
{
    FCancel = false;
    FTablesOpen = false;
    FAlbumsDone = FTitlesDone = FAlbumsTotal = FTitlesTotal = 0;
    FCounts = {};
    FFailure = nullptr;
    ShowRunning(true);
    FWorker = std::thread([this] {
        try {
            FCounts = FConversion->Transfer();
        } catch (...) {
            FFailure = std::current_exception();
        }
        QMetaObject::invokeMethod(this, &TMainForm::TransferEnded, Qt::QueuedConnection);
    });
}

void TMainForm::CancelConversion()
{
    if (!Converting() || FCancel)
        return;
    FCancel = true;
    bbCancel->setEnabled(false);
    ShowProgress();
}

void TMainForm::TransferEnded()
{
    if (!FWorker.joinable())
        return;
    FWorker.join();
    std::unique_ptr<TConversion> conversion = std::move(FConversion);
    ShowRunning(false);
    stStatus->setText(FStatusBefore);
    FailureGuard::Run([&] {
        const ConvertResult result = conversion->Finish(FCounts, FFailure);
        if (result.outcome == ConvertOutcome::Converted || result.outcome == ConvertOutcome::Cancelled)
            stStatus->setText(pdx::DisplayFileName(
                QStringList(QStringList{result.status} + result.warnings).join(QStringLiteral("\r\n"))));
    });
    FFailure = nullptr;
    emit conversionEnded();
    if (FCloseWhenDone) {
        FCloseWhenDone = false;
        close();
    }
}

// The window while a transfer runs: inputs and "Konvertieren" disabled, a busy cursor, the run
// row with the progress bar and "Abbrechen" below the status box, and the status box counting.
void TMainForm::ShowRunning(bool running)
{
    const bool hadFocus = bbConvert->hasFocus();
    for (QWidget* input : std::initializer_list<QWidget*>{edRootDir, sbRootDir, edKatalog, sbKatalog, bbConvert})
        input->setEnabled(!running);
    FEscape->setEnabled(running);
    bbCancel->setEnabled(running);
    if (running) {
        FStatusBefore = stStatus->text();
        setCursor(Qt::BusyCursor);
        FGrown = !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
        FPosBeforeGrow = FPosAfterGrow = QPoint();
        if (FGrown) {
            resize(width(), height() + kRunRowHeight);
            // Grown near the bottom of the screen, the window moves up so that the run row is seen.
            const QPoint before = pos();
            KeepInsideWorkArea();
            if (pos() != before) {
                FPosBeforeGrow = before;
                FPosAfterGrow = pos();
            }
        }
        pbProgress->setRange(0, 0);
        pbProgress->show();
        bbCancel->show();
        ShowProgress();
        FProgressTimer->start();
    } else {
        FProgressTimer->stop();
        pbProgress->hide();
        bbCancel->hide();
        if (FGrown) {
            resize(width(), std::max(minimumHeight(), height() - kRunRowHeight));
            // Back where it stood, unless the user has moved it meanwhile.
            if (!FPosAfterGrow.isNull() && pos() == FPosAfterGrow)
                move(FPosBeforeGrow);
        }
        FGrown = false;
        unsetCursor();
        if (hadFocus || focusWidget() == nullptr || !focusWidget()->isEnabled())
            bbConvert->setFocus();
    }
}

void TMainForm::ShowProgress()
{
    if (!Converting())
        return;
    QString text = FCancel ? QStringLiteral("Die Konvertierung wird abgebrochen …")
                           : QStringLiteral("Die Konvertierung läuft …");
    if (!FTablesOpen.load(std::memory_order_acquire)) {
        stStatus->setText(text + QStringLiteral("\r\nDie Tabellen werden geöffnet."));
        return;
    }
    const std::uint64_t albumsTotal = FAlbumsTotal, titlesTotal = FTitlesTotal;
    const std::uint64_t albumsDone = FAlbumsDone, titlesDone = FTitlesDone;
    stStatus->setText(text + QStringLiteral("\r\nAlben: %1 von %2\r\nTitel: %3 von %4")
                                 .arg(Count(albumsDone), Count(albumsTotal), Count(titlesDone), Count(titlesTotal)));
    // The bar counts rows of both tables; a count beyond its range is scaled down.
    const std::uint64_t total = albumsTotal + titlesTotal;
    const std::uint64_t scale = total / std::uint64_t(std::numeric_limits<int>::max()) + 1;
    pbProgress->setRange(0, int(total / scale));
    pbProgress->setValue(int(std::min(albumsDone + titlesDone, total) / scale));
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!Converting()) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    if (FCloseWhenDone)
        return;
    if (!EndOnSignals::Requested()) {
        const bool cancel = MsgDialogs::ConfirmDialogAt(
            MsgDialogs::BottomRightOfControl(bbConvert),
            QStringLiteral("Die Konvertierung läuft noch.\r\nSoll sie abgebrochen und das Programm beendet werden?"),
            DialogButton::Yes, DialogMonitor::ActiveForm);
        if (!cancel)
            return;
        if (!Converting()) {
            // It ended while the question was open.
            QTimer::singleShot(0, this, &QWidget::close);
            return;
        }
    }
    FCloseWhenDone = true;
    CancelConversion();
}

namespace ConvertMain {

QIcon GlyphIcon(const QImage& strip)
{
    QIcon icon;
    if (strip.isNull())
        return icon;
    QImage image = strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == transparent)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    const int side = image.height();
    icon.addPixmap(QPixmap::fromImage(image.copy(0, 0, side, side)), QIcon::Normal);
    if (image.width() >= 2 * side)
        icon.addPixmap(QPixmap::fromImage(image.copy(side, 0, side, side)), QIcon::Disabled);
    return icon;
}

} // namespace ConvertMain
