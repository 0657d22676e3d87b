#include "MainFormAccess.h"

#include "ConvertMain.h"
#include "StatusBox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include <utility>
#include <vector>

namespace {

// Without this the window would be a plain widget to assistive technology, a "filler" that
// holds the controls, not a window that a screen reader names when it opens.
QAccessibleInterface* MainWindowInterface(const QString& key, QObject* object)
{
    if (key == QLatin1String(TMainForm::staticMetaObject.className()) && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

// F4 and Alt+Down in a field press the picker button beside it (which takes no focus itself).
class PickerKeys final : public QObject {
public:
    using QObject::QObject;

    void Add(QLineEdit* field, QToolButton* picker)
    {
        FPickers.emplace_back(field, picker);
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (!MainFormAccess::IsPickerKey(key))
            return false;
        for (const auto& [field, picker] : FPickers) {
            if (field == watched) {
                if (!key->isAutoRepeat() && picker->isEnabled())
                    picker->click();
                return true;
            }
        }
        return false;
    }

private:
    std::vector<std::pair<QObject*, QToolButton*>> FPickers;
};

} // namespace

namespace MainFormAccess {

bool IsPickerKey(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_F4 && modifiers == Qt::NoModifier)
           || (key->key() == Qt::Key_Down && modifiers == Qt::AltModifier);
}

void Prepare(TMainForm* form)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(MainWindowInterface);
        return true;
    }();
    Q_UNUSED(factoryInstalled)

    // Names where the control shows none of its own (or Qt would take it from elsewhere), and
    // descriptions that say what the keys do.
    const struct {
        QWidget* control;
        const char* name;
        const char* description;
    } texts[] = {
        {form->edRootDir, "Stammverzeichnis der Kataloge", "F4 oder Alt+Pfeil nach unten öffnet die Ordnerauswahl."},
        {form->sbRootDir, "Stammverzeichnis auswählen",
         "Öffnet die Ordnerauswahl, wie F4 oder Alt+Pfeil nach unten im Feld „Stammverzeichnis der Kataloge“."},
        {form->edKatalog, "Name des Katalogs",
         "F4 oder Alt+Pfeil nach unten öffnet die Dateiauswahl „Katalog auswählen“."},
        {form->sbKatalog, "Katalog auswählen",
         "Öffnet die Dateiauswahl „Katalog auswählen“, wie F4 oder Alt+Pfeil nach unten im Feld „Name des "
         "Katalogs“."},
        {form->bbConvert, nullptr, "Konvertiert den Katalog in eine SQLite-Datenbank im Stammverzeichnis."},
        {form->stStatus, nullptr, "Status"},
        {form->pbProgress, "Fortschritt der Konvertierung", nullptr},
        {form->bbCancel, nullptr, "Bricht die laufende Konvertierung ab (Escape)."},
    };
    for (const auto& t : texts) {
        if (t.name != nullptr)
            t.control->setAccessibleName(QString::fromUtf8(t.name));
        if (t.description != nullptr)
            t.control->setAccessibleDescription(QString::fromUtf8(t.description));
    }

    auto* keys = new PickerKeys(form);
    keys->Add(form->edRootDir, form->sbRootDir);
    keys->Add(form->edKatalog, form->sbKatalog);

    // The result of a conversion (or why it stopped) is read out as it appears.
    QObject::connect(form, &TMainForm::conversionEnded, form->stStatus, &TStatusBox::Announce);
}

} // namespace MainFormAccess
