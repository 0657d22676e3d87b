#include "SourceTable.h"

#include "ByteSource.h"
#include "CodePage.h"
#include "FileNames.h"
#include "TableReader.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

namespace pdx {

QString FindIgnoringCase(const QString& directory, const QString& fileName)
{
    const QString exact = JoinFileName(directory, fileName);
    if (IsRegularFile(exact))
        return exact;
    // Every entry is checked itself, links followed, so that a FIFO or a
    // dangling link that sorts first does not hide a table further on.
    std::vector<DirEntry> entries;
    if (!ListDirectory(directory, entries))
        return {};
    const QString wanted = FoldedFileName(fileName);
    QString found;
    for (const DirEntry& entry : entries) {
        if (entry.kind == FileKind::Regular && (found.isEmpty() || entry.name < found) &&
            FoldedFileName(entry.name) == wanted)
            found = entry.name;
    }
    return found.isEmpty() ? QString() : JoinFileName(directory, found);
}

namespace {

QString StripExtension(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot > 0 ? fileName.left(dot) : fileName;
}

bool IsBlankText(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
}

} // namespace

SourceTable::SourceTable() = default;
SourceTable::~SourceTable() = default;

void SourceTable::SetCodePage(const QString& name)
{
    forcedCodePage_ = name.trimmed();
}

void SourceTable::Open(const QString& directory, const QString& fileName, const QString& indexField)
{
    Close();
    QString dir = directory;
    if (!dir.isEmpty() && !dir.endsWith(u'/') && !dir.endsWith(QDir::separator()))
        dir += u'/';
    const QString derived = dir + fileName;
    // Messages show a name that is not UTF-8 with its bytes escaped.
    const QString shown = DisplayFileName(derived);

    const QString lookIn = directory.isEmpty() ? QStringLiteral(".") : directory;
    const QString actual = finder_ ? finder_(lookIn, fileName) : FindIgnoringCase(lookIn, fileName);
    if (actual.isEmpty())
        throw SourceError(ErrorCode::FileNotFound, {shown});
    auto file = std::make_unique<FileSource>();
    if (!file->Open(actual))
        throw SourceError(ErrorCode::FileOpenFailed, {shown});

    auto reader = std::make_unique<TableReader>(std::move(file), shown, indexField);
    reader->SetMissingMemoAsBlank(missingMemoAsBlank_);
    if (!forcedCodePage_.isEmpty())
        reader->SetCodec(CodePage::NormalizeName(forcedCodePage_));

    if (reader->HasBlobFields()) {
        const QString memoName = StripExtension(QFileInfo(actual).fileName()) + QStringLiteral(".mb");
        const QString memoDerived = DisplayFileName(dir + StripExtension(fileName) + QStringLiteral(".mb"));
        // The usual spellings first: looking through a folder of thousands
        // of tables for each of them would cost time in its square.
        // Always beside the table, also when FILENAME names it in a folder below DIRECTORY.
        QString memoActual;
        const qsizetype slash = std::max(actual.lastIndexOf(u'/'), actual.lastIndexOf(QDir::separator()));
        const QString memoDir = slash < 0 ? QStringLiteral(".") : actual.left(slash + 1);
        for (const QString& suffix : {QStringLiteral(".mb"), QStringLiteral(".MB")}) {
            const QString candidate = JoinFileName(memoDir, StripExtension(QFileInfo(actual).fileName()) + suffix);
            if (memoActual.isEmpty() && IsRegularFile(candidate))
                memoActual = candidate;
        }
        if (memoActual.isEmpty())
            memoActual = finder_ ? finder_(memoDir, memoName) : FindIgnoringCase(memoDir, memoName);
        auto memo = std::make_unique<FileSource>();
        if (memoActual.isEmpty())
            reader->SetMissingMemoName(memoDerived);
        else if (!memo->Open(memoActual))
            throw SourceError(ErrorCode::FileOpenFailed, {memoDerived});
        else
            reader->SetMemoSource(std::move(memo), memoDerived);
    }

    reader_ = std::move(reader);
    path_ = shown;
    try {
        if (!indexField.isEmpty())
            BuildOrder(indexField);
        reader_->Rewind();
    } catch (...) {
        Close();
        throw;
    }
}

void SourceTable::BuildOrder(const QString& indexField)
{
    reader_->OrderBy(FieldIndex(indexField));
}

bool SourceTable::IsOpen() const
{
    return reader_ != nullptr;
}

void SourceTable::Close()
{
    reader_.reset();
    path_.clear();
}

void SourceTable::First()
{
    if (!reader_)
        throw SourceError(ErrorCode::NotOpen);
    reader_->Rewind();
}

bool SourceTable::Eof() const
{
    return !reader_ || reader_->AtEnd();
}

void SourceTable::Next()
{
    if (!reader_)
        throw SourceError(ErrorCode::NotOpen);
    reader_->Advance();
}

int SourceTable::FieldIndex(const QString& name) const
{
    if (!reader_)
        throw SourceError(ErrorCode::NotOpen);
    const auto& fields = reader_->Fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    throw SourceError(ErrorCode::FieldMissing, {path_, name});
}

void SourceTable::RequireRecord() const
{
    if (!reader_)
        throw SourceError(ErrorCode::NotOpen);
    if (reader_->AtEnd())
        throw SourceError(ErrorCode::NoCurrentRecord, {path_});
}

void SourceTable::FailConversion(int index, const char* wanted) const
{
    const FieldInfo& f = reader_->Fields()[static_cast<std::size_t>(index)];
    throw SourceError(ErrorCode::NotConvertible,
                      {path_, f.name, QString(QLatin1Char(TypeLetter(f.type))), QString::fromUtf8(wanted)});
}

qint32 SourceTable::AsInteger(const QString& field) const
{
    return AsInteger(FieldIndex(field));
}

QString SourceTable::AsString(const QString& field) const
{
    return AsString(FieldIndex(field));
}

double SourceTable::AsFloat(const QString& field) const
{
    return AsFloat(FieldIndex(field));
}

qint32 SourceTable::AsInteger(int index) const
{
    RequireRecord();
    const FieldInfo& f = reader_->Fields().at(static_cast<std::size_t>(index));
    if (reader_->IsBlank(index))
        return 0;
    const std::uint8_t* p = reader_->Current() + f.offset;
    double value = 0;
    switch (f.type) {
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoIncrement:
        return static_cast<qint32>(DecodeFlippedInt(p, f.width));
    case FieldType::Logical:
        return p[0] == 0x80 ? 0 : 1;
    case FieldType::Number:
    case FieldType::Currency:
        value = DecodeFlippedDouble(p);
        break;
    case FieldType::Bcd:
        value = reader_->ReadValue(index).text.toDouble();
        break;
    case FieldType::Alpha:
    case FieldType::Memo: {
        const QString text = reader_->ReadText(index);
        if (IsBlankText(text))
            return 0;
        bool ok = false;
        const qint64 parsed = text.trimmed().toLongLong(&ok);
        if (!ok)
            throw SourceError(ErrorCode::NotAnInteger, {path_, f.name, text});
        if (parsed < std::numeric_limits<qint32>::min() || parsed > std::numeric_limits<qint32>::max())
            throw SourceError(ErrorCode::IntegerOutOfRange, {path_, f.name, text.trimmed()});
        return static_cast<qint32>(parsed);
    }
    default:
        FailConversion(index, "ganze Zahl");
    }
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<qint32>::min() && rounded <= std::numeric_limits<qint32>::max()))
        throw SourceError(ErrorCode::IntegerOutOfRange, {path_, f.name, FormatDouble(value)});
    return static_cast<qint32>(rounded);
}

double SourceTable::AsFloat(int index) const
{
    RequireRecord();
    const FieldInfo& f = reader_->Fields().at(static_cast<std::size_t>(index));
    if (reader_->IsBlank(index))
        return 0.0;
    const std::uint8_t* p = reader_->Current() + f.offset;
    switch (f.type) {
    case FieldType::Number:
    case FieldType::Currency:
        return DecodeFlippedDouble(p);
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoIncrement:
        return static_cast<double>(DecodeFlippedInt(p, f.width));
    case FieldType::Logical:
        return p[0] == 0x80 ? 0.0 : 1.0;
    case FieldType::Bcd:
        return reader_->ReadValue(index).text.toDouble();
    case FieldType::Alpha:
    case FieldType::Memo: {
        const QString text = reader_->ReadText(index);
        if (IsBlankText(text))
            return 0.0;
        bool ok = false;
        QString trimmed = text.trimmed();
        double value = trimmed.toDouble(&ok);
        if (!ok && trimmed.count(u',') == 1 && !trimmed.contains(u'.'))
            value = QString(trimmed).replace(u',', u'.').toDouble(&ok);
        if (!ok)
            throw SourceError(ErrorCode::NotANumber, {path_, f.name, text});
        return value;
    }
    default:
        FailConversion(index, "Zahl");
    }
}

QString SourceTable::AsString(int index) const
{
    RequireRecord();
    const FieldInfo& f = reader_->Fields().at(static_cast<std::size_t>(index));
    switch (f.type) {
    case FieldType::Alpha:
    case FieldType::Memo:
        return reader_->IsBlank(index) ? QString() : reader_->ReadText(index);
    case FieldType::Binary:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
    case FieldType::Bytes:
        FailConversion(index, "Text");
    default:
        break;
    }
    const Value v = reader_->ReadValue(index);
    switch (v.kind) {
    case Value::Kind::Integer:
        return QString::number(v.integer);
    case Value::Kind::Floating:
        return FormatDouble(v.floating);
    case Value::Kind::Decimal:
    case Value::Kind::Text:
        return v.text;
    case Value::Kind::Logical:
        return v.integer ? QStringLiteral("True") : QStringLiteral("False");
    case Value::Kind::Date:
        return FormatDate(v.integer);
    case Value::Kind::Time:
        return FormatTime(v.integer);
    case Value::Kind::Timestamp:
        return FormatTimestamp(v.integer);
    case Value::Kind::Blank:
    case Value::Kind::Bytes:
        break;
    }
    return {};
}

const std::vector<FieldInfo>& SourceTable::Fields() const
{
    if (!reader_)
        throw SourceError(ErrorCode::NotOpen);
    return reader_->Fields();
}

Value SourceTable::Read(int index) const
{
    RequireRecord();
    (void)reader_->Fields().at(static_cast<std::size_t>(index));
    return reader_->ReadValue(index);
}

void SourceTable::Read(int index, Value& value) const
{
    RequireRecord();
    (void)reader_->Fields().at(static_cast<std::size_t>(index));
    reader_->ReadValueInto(index, value);
}

QByteArrayView SourceTable::TextBytes(int index) const
{
    RequireRecord();
    const FieldType type = reader_->Fields().at(static_cast<std::size_t>(index)).type;
    if (type != FieldType::Alpha && type != FieldType::Memo)
        FailConversion(index, "Text");
    return reader_->ReadTextBytes(index);
}

const TextDecoder& SourceTable::Decoder() const
{
    if (!reader_)
        throw SourceError(ErrorCode::NotOpen);
    return reader_->Decoder();
}

QString SourceTable::FilePath() const
{
    return path_;
}

QString SourceTable::CodePageName() const
{
    return reader_ ? reader_->Codec() : QString();
}

std::uint64_t SourceTable::RecordCount() const
{
    return reader_ ? reader_->RecordCount() : 0;
}

const TableHeader& SourceTable::Header() const
{
    if (!reader_)
        throw SourceError(ErrorCode::NotOpen);
    return reader_->Header();
}

const LossCount& SourceTable::Losses(LossKind kind) const
{
    static const LossCount kNone;
    return reader_ ? reader_->Losses(kind) : kNone;
}

void SourceTable::ResetLosses()
{
    if (reader_)
        reader_->ResetLosses();
}

QString SourceTable::MissingMemoFile() const
{
    return reader_ && reader_->MemoMissing() ? reader_->MemoName() : QString();
}

QString SourceTable::MemoFileName() const
{
    return reader_ ? reader_->MemoName() : QString();
}

const TableDamage& SourceTable::Damage() const
{
    static const TableDamage kNone;
    return reader_ ? reader_->Damage() : kNone;
}

QString SourceTable::DecodeBytes(const QByteArray& bytes) const
{
    if (!reader_)
        throw SourceError(ErrorCode::NotOpen);
    return reader_->DecodeText(bytes.constData(), bytes.size());
}

int SourceTable::KeyFieldCount() const
{
    if (!reader_ || reader_->Header().fileType != 0)
        return 0;
    const int keys = reader_->Header().keyFields;
    return keys > 0 && std::size_t(keys) <= reader_->Fields().size() ? keys : 0;
}

} // namespace pdx
