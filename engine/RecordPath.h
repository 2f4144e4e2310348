#pragma once
#include <string_view>

#include "common/Records.h"

namespace engine {

// A record's path up to its terminator, never past the field: a plug-in that
// fills all 520 units without one does not make us read beyond the record.
inline std::u16string_view RecordPath(const FileRecord& record) noexcept
{
    std::size_t length = 0;
    while (length < kFileRecordPathUnits && record.path[length] != 0)
        ++length;
    return {record.path, length};
}

} // namespace engine
