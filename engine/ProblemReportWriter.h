#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ReportFile.h"

namespace engine {

// Records the first problem of a scan in "ombrix.err.<timestamp>.xml" in the
// current folder: a description and a hex dump of the data that goes with it.
class ProblemReportWriter {
public:
    ProblemReportWriter() = default;
    virtual ~ProblemReportWriter() = default;
    ProblemReportWriter(const ProblemReportWriter&) = delete;
    ProblemReportWriter& operator=(const ProblemReportWriter&) = delete;

    // Writes nothing once a report exists. The description is finished text;
    // units the one-byte file cannot hold are written as '?'.
    void Report(const void* data, uint32_t size, std::u16string_view description);

    // The name of the written file, without a folder; empty when none.
    const std::u16string& FileName() const noexcept { return m_name; }

private:
    platform::ReportFile m_file;
    std::u16string m_name;
};

} // namespace engine
