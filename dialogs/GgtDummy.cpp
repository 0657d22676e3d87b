#include "GgtDummy.h"

namespace GgtDummy {

void TranslateForm(QWidget* /*form*/, const QString& /*domain*/) {}

QString TranslateText(const QString& text)
{
    return text;
}

QString TranslateText(const QString& /*domain*/, const QString& text)
{
    return text;
}

}  // namespace GgtDummy
