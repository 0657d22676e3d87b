// Sets an environment variable for the lifetime of the object and restores it afterwards.
#pragma once

#include <QByteArray>
#include <QString>

class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value) : FName(name)
    {
        FHad = qEnvironmentVariableIsSet(name);
        FOld = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toUtf8());
    }
    ~ScopedEnv()
    {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* FName;
    QByteArray FOld;
    bool FHad = false;
};
