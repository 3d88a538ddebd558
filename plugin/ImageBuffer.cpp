// ImageBuffer.cpp - see ImageBuffer.h.
#include "ImageBuffer.h"

#include <cstring>
#include <limits>
#include <new>

#include "hostapi/HostApi.h"

namespace {

constexpr std::int64_t kSpareBytes = 128;

/// The byte count a * b * c when it is positive and fits the 32-bit counts.
bool CountBytes(std::int64_t a, std::int64_t b, std::int64_t c, std::int32_t* pnBytes) noexcept
{
    if (a <= 0 || b <= 0 || c <= 0)
        return false;
    const std::int64_t nBytes = a * b * c;
    if (nBytes > std::numeric_limits<std::int32_t>::max() - kSpareBytes)
        return false;
    *pnBytes = static_cast<std::int32_t>(nBytes);
    return true;
}

std::unique_ptr<std::uint8_t[]> AllocateZeroed(std::int32_t nBytes) noexcept
{
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[nBytes + kSpareBytes]);
    if (buffer)
        std::memset(buffer.get(), 0, static_cast<std::size_t>(nBytes));
    return buffer;
}

} // namespace

void ImageBuffer::Clear() noexcept
{
    *this = ImageBuffer{};
}

void ImageBuffer::SetDimensions(std::int32_t nWidth, std::int32_t nHeight,
                                const FilterRecord& record) noexcept
{
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    m_nPlanes = record.inHiPlane - record.inLoPlane + 1;
}

std::uint8_t* ImageBuffer::AllocatePixels(std::int32_t nWidth, std::int32_t nHeight,
                                          const FilterRecord& record) noexcept
{
    SetDimensions(nWidth, nHeight, record);
    m_imageBuffer.reset();
    m_nImageBytes = 0;
    std::int32_t nBytes = 0;
    if (!CountBytes(m_nWidth, m_nHeight, m_nPlanes, &nBytes))
        return nullptr;
    m_imageBuffer = AllocateZeroed(nBytes);
    if (m_imageBuffer)
        m_nImageBytes = nBytes;
    return m_imageBuffer.get();
}

std::uint8_t* ImageBuffer::AllocateMask(std::int32_t nWidth, std::int32_t nHeight,
                                        std::int32_t nRowBytes) noexcept
{
    m_maskBuffer.reset();
    m_nMaskBytes = 0;
    std::int32_t nBytes = 0;
    if (nRowBytes < nWidth || !CountBytes(nHeight, nRowBytes, 1, &nBytes))
        return nullptr;
    m_maskBuffer = AllocateZeroed(nBytes);
    if (!m_maskBuffer)
        return nullptr;
    m_nMaskWidth = nWidth;
    m_nMaskHeight = nHeight;
    m_nMaskRowBytes = nRowBytes;
    m_nMaskBytes = nBytes;
    return m_maskBuffer.get();
}

void ImageBuffer::Release() noexcept
{
    m_imageBuffer.reset();
    m_maskBuffer.reset();
}
