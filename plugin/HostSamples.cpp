// HostSamples.cpp - conversion between the host's samples and floats.
#include "HostSamples.h"

#include <cmath>
#include <stdexcept>

namespace gw::plugin {

namespace {

constexpr float kRead16 = 32768.0f;
constexpr double kWrite16 = 32768.0;

} // namespace

int SampleBytes(const FilterRecord& record) noexcept
{
    if (record.inPlaneBytes == 1 || record.inPlaneBytes == 2)
        return record.inPlaneBytes;
    return (record.imageMode == plugInModeGray16 || record.imageMode == plugInModeRGB48) ? 2 : 1;
}

std::ptrdiff_t RowStride(std::int32_t nRowBytes, const ImageBuffer& image, int nSampleBytes)
{
    const std::int64_t nNeeded =
        static_cast<std::int64_t>(image.m_nWidth) * image.m_nPlanes * nSampleBytes;
    if (nRowBytes < nNeeded)
        throw std::invalid_argument("host rows are shorter than the filter area");
    return nRowBytes / nSampleBytes;
}

float ReadSample(const void* pData, std::ptrdiff_t nIndex, bool bDeep) noexcept
{
    if (bDeep)
        return static_cast<float>(static_cast<const std::uint16_t*>(pData)[nIndex]) / kRead16;
    return static_cast<float>(static_cast<const std::uint8_t*>(pData)[nIndex]) / kScale8;
}

void WriteSample(void* pData, std::ptrdiff_t nIndex, float v, bool bDeep) noexcept
{
    if (!(v < 1.0f))
        v = 1.0f;
    if (v < 0.0f)
        v = 0.0f;
    if (bDeep)
        static_cast<std::uint16_t*>(pData)[nIndex] =
            static_cast<std::uint16_t>(std::floor(kWrite16 * static_cast<double>(v) + 0.5));
    else
        static_cast<std::uint8_t*>(pData)[nIndex] = static_cast<std::uint8_t>(kScale8 * v);
}

std::uint8_t PreviewSample(const void* pData, std::ptrdiff_t nIndex, bool bDeep) noexcept
{
    if (!bDeep)
        return static_cast<const std::uint8_t*>(pData)[nIndex];
    const double s = static_cast<const std::uint16_t*>(pData)[nIndex];
    const int n = static_cast<int>(s / 32768.0 * 32767.0 + 0.5) >> 7;
    return static_cast<std::uint8_t>(n < 255 ? n : 255);
}

void CopySample(const FilterRecord& record, std::ptrdiff_t nIn, std::ptrdiff_t nOut,
                bool bDeep) noexcept
{
    if (bDeep)
        static_cast<std::uint16_t*>(record.outData)[nOut] =
            static_cast<const std::uint16_t*>(record.inData)[nIn];
    else
        static_cast<std::uint8_t*>(record.outData)[nOut] =
            static_cast<const std::uint8_t*>(record.inData)[nIn];
}

} // namespace gw::plugin
