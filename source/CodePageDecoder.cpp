#include "CodePageDecoder.h"

#include <QStringDecoder>

namespace pdx {

namespace {

class QtDecoder final : public CodePageDecoder {
public:
    explicit QtDecoder(const QString& codecName)
        : decoder_(codecName.toLatin1().constData(), QStringDecoder::Flag::Stateless)
    {
    }
    bool IsValid() const { return decoder_.isValid(); }
    QString Decode(QByteArrayView bytes) override { return decoder_.decode(bytes); }

private:
    QStringDecoder decoder_;
};

} // namespace

std::unique_ptr<CodePageDecoder> MakeQtDecoder(const QString& codecName)
{
    auto decoder = std::make_unique<QtDecoder>(codecName);
    if (!decoder->IsValid())
        return nullptr;
    return decoder;
}

} // namespace pdx
