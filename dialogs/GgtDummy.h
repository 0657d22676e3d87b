// Translation hooks. The program is German only, so every hook hands its
// text back unchanged; windows still route their fixed texts through them,
// per text domain, so that a real catalog could be plugged in here.
#pragma once

#include <QString>

class QWidget;

namespace GgtDummy {

// Translates the texts of a window and its controls in the given domain.
void TranslateForm(QWidget* form, const QString& domain);

// Translates a text in the default domain.
QString TranslateText(const QString& text);

// Translates a text in the given domain.
QString TranslateText(const QString& domain, const QString& text);

}  // namespace GgtDummy
