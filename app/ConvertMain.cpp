#include "ConvertMain.h"

#include "CatalogSelection.h"
#include "ConvertCommand.h"
#include "DataFiles.h"
#include "FailureGuard.h"
#include "InitProg.h"
#include "MsgDialogs.h"
#include "ProgramSettings.h"
#include "ShellDirDlg.h"
#include "StatusBox.h"
#include "util/WinShell.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

using MsgDialogs::DialogButton;
using MsgDialogs::DialogMonitor;

const QString TMainForm::InfoPageName = QStringLiteral("katalogkonverter.html");

namespace {

const char kEngineMissing[] =
    "Zum Konvertieren wird die Borland Data Base Engine benötigt!\r\nWeitere Hinweise auf der Home-Page ...";

// Questions at the "Konvertieren" button, errors centred: the window's side of the command.
class WindowPrompts final : public ConvertPrompts {
public:
    explicit WindowPrompts(const QWidget* button) : FButton(button) {}

    bool ConfirmOverwrite(const QString& question) override
    {
        return MsgDialogs::ConfirmDialogAt(MsgDialogs::BottomRightOfControl(FButton), question, DialogButton::Yes,
                                           DialogMonitor::ActiveForm);
    }
    // The command's message, and below it why, when that is known.
    void ShowError(const QString& message, const QString& cause) override
    {
        MsgDialogs::ErrorDialog(cause.isEmpty() ? message : message + QStringLiteral("\r\n") + cause,
                                DialogMonitor::ActiveForm);
    }

private:
    const QWidget* FButton;
};

QToolButton* ImageButton(QWidget* parent, const QString& imageFile, const QRect& geometry)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(QSize(16, 16));
    button->setIcon(ConvertMain::GlyphIcon(QImage(imageFile)));
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
    FailureGuard::Run([this] { FormCreate(); });
}

TMainForm::~TMainForm()
{
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
    lbRootDir = LabelAbove(this, QStringLiteral("Stammverzeichnis der Kataloge"), edRootDir);
    sbRootDir = ImageButton(this, QStringLiteral(":/images/folder-tree.xpm"), QRect(260, 25, 24, 24));
    sbRootDir->setObjectName(QStringLiteral("sbRootDir"));

    edKatalog = new QLineEdit(this);
    edKatalog->setObjectName(QStringLiteral("edKatalog"));
    edKatalog->setGeometry(15, 65, 241, 21);
    lbKatalog = LabelAbove(this, QStringLiteral("Name des Katalogs"), edKatalog);
    sbKatalog = ImageButton(this, QStringLiteral(":/images/open-folder.xpm"), QRect(260, 65, 24, 24));
    sbKatalog->setObjectName(QStringLiteral("sbKatalog"));

    bbConvert = new QPushButton(QStringLiteral("Konvertieren"), this);
    bbConvert->setObjectName(QStringLiteral("bbConvert"));
    bbConvert->setAutoDefault(false);
    bbConvert->setDefault(false);
    bbConvert->setGeometry(290, 45, 116, 41);
    bbConvert->installEventFilter(this);

    stStatus = new TStatusBox(this);
    stStatus->setObjectName(QStringLiteral("stStatus"));
    stStatus->setGeometry(15, 100, 391, 46);

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

    const auto guarded = [this](void (TMainForm::*handler)()) {
        return [this, handler] { FailureGuard::Run([this, handler] { (this->*handler)(); }); };
    };
    connect(bbConvert, &QPushButton::clicked, this, guarded(&TMainForm::bbConvertClick));
    connect(sbKatalog, &QToolButton::clicked, this, guarded(&TMainForm::sbKatalogClick));
    connect(sbRootDir, &QToolButton::clicked, this, guarded(&TMainForm::sbRootDirClick));
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
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(DataFiles::Locate(PrgPath, InfoPageName, DataFiles::InfoPageShareDirs())));
        close();
        return;
    }
    if (edKatalog->text().isEmpty())
        SelectCatalog();
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
    ConvertRequest request;
    request.root = edRootDir->text();
    request.catalog = edKatalog->text();
    request.programDir = PrgPath;
    WindowPrompts prompts(bbConvert);
    const ConvertResult result = ConvertCatalog(request, prompts);
    if (result.outcome == ConvertOutcome::Converted)
        stStatus->setText(QStringList(QStringList{result.status} + result.warnings).join(QStringLiteral("\r\n")));
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
