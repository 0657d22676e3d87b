#include "FailureDisplay.h"

QString FailureDisplayText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

QString ProgramTitle(const QString& executablePath)
{
    qsizetype start = executablePath.lastIndexOf(QLatin1Char('/')) + 1;
#ifdef Q_OS_WIN
    start = qMax(start, executablePath.lastIndexOf(QLatin1Char('\\')) + 1);
#endif
    QString name = executablePath.mid(start);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    // Per code unit, so the length never changes.
    for (qsizetype i = 1; i < name.size(); ++i)
        name[i] = name.at(i).toLower();
    return name;
}
