// The C library's own texts for errno values. The program speaks German whatever the user's
// locale says, so a German locale is asked first when the system has one; otherwise the texts
// come in the language of the program's locale (English in the C locale).
#include "Platform.h"

#include <QFile>

#include <clocale>
#include <cstring>

#include <locale.h>
#include <string.h>

namespace FileUtils::Platform {

namespace {

locale_t GermanMessages()
{
    static const locale_t german = [] {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_AT.UTF-8", "de_CH.UTF-8", "de_LU.UTF-8",
                                 "de_BE.UTF-8", "de_IT.UTF-8", "de_LI.UTF-8"}) {
            if (const locale_t locale = ::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name, locale_t(nullptr)))
                return locale;
        }
        return locale_t(nullptr);
    }();
    return german;
}

}  // namespace

QString ErrnoText(int err)
{
    if (const locale_t german = GermanMessages())
        return QString::fromUtf8(::strerror_l(err, german));
    char buffer[256] = {};
    // The GNU strerror_r returns its text, which need not be the buffer.
    const char* text = ::strerror_r(err, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text ? text : buffer);
}

}  // namespace FileUtils::Platform
