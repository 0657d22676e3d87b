#include "FailureDisplay.h"

#include <QDir>

QString FailureDisplayText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

QString ProgramTitle(const QString& executablePath)
{
    // "/" everywhere, the platform's own delimiter too ("\\" on Windows).
    const qsizetype start =
        qMax(executablePath.lastIndexOf(QLatin1Char('/')), executablePath.lastIndexOf(QDir::separator())) + 1;
    QString name = executablePath.mid(start);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    // Per code unit, so the length never changes.
    for (qsizetype i = 1; i < name.size(); ++i)
        name[i] = name.at(i).toLower();
    return name;
}
