#include "ByteSource.h"

#include <cstring>

namespace pdx {

bool MemorySource::ReadAt(std::uint64_t offset, void* dst, std::size_t n)
{
    const auto size = Size();
    if (offset > size || n > size - offset)
        return false;
    if (n != 0)
        std::memcpy(dst, bytes_.constData() + offset, n);
    return true;
}

} // namespace pdx
