// Qt with ICU knows every code page the engine names.

#include "CodePageDecoder.h"

namespace pdx {

std::unique_ptr<CodePageDecoder> MakeCodePageDecoder(const QString& codecName)
{
    return MakeQtDecoder(codecName);
}

} // namespace pdx
