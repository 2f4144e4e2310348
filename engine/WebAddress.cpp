#include "WebAddress.h"
#include "Int128.h"

#include <cstdlib>

#include "platform/Format.h"
#include "platform/Utf.h"

namespace engine {

namespace {

constexpr char16_t kDefaultWebBase[] = u"https://www.ombrix.example";

} // namespace

std::u16string WebBase()
{
    const char* base = std::getenv("VELKLEVEL2_WEB_BASE");
    if (base != nullptr && *base != '\0')
        return platform::ToUtf16(base);
    return kDefaultWebBase;
}

std::u16string AnalysisAddress(const ScanFigures& f)
{
    // 128-bit products: no figure a plug-in reports can overflow them.
    const int64_t sizeGb = ClampToInt64(static_cast<Int128>(f.totalClusters) * f.clusterSize / (Int128{1} << 30));
    const double highestGb =
        static_cast<double>(f.highestClusterUsed) * static_cast<double>(f.clusterSize) * (1.0 / (1 << 30));
    const int64_t percent =
        f.totalClusters == 0 ? 0 : ClampToInt64(static_cast<Int128>(f.highestClusterUsed) * 100 / f.totalClusters);
    return WebBase() + platform::Format(u"/cgi-bin/analyze.cgi?s=%I64d&h=%.2f&a=%d&l=%.1f", sizeGb, highestGb,
                                        static_cast<int>(static_cast<uint32_t>(percent)), f.velkLevel);
}

std::u16string UpdateCheckAddress(const char16_t* version, const char16_t* source)
{
    return WebBase() + platform::Format(u"/cgi-bin/checkupdates.cgi?v=%s&src=%s", version ? version : u"",
                                        source ? source : u"");
}

} // namespace engine
