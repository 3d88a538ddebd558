// ImageBuffer.h - a plain record of an 8-bit pixel buffer and a selection-mask
// buffer with their dimensions. Used for the processed area (dimensions and
// mask copy only) and for the dialog's preview buffer.
#pragma once

#include <cstdint>
#include <memory>

struct FilterRecord;

/// Both buffers are owned and get 128 spare bytes beyond their counted size.
/// All counts are 32-bit signed, as the host's are.
struct ImageBuffer
{
    std::unique_ptr<std::uint8_t[]> m_imageBuffer; ///< pixel bytes, or null
    std::int32_t m_nWidth = 0;
    std::int32_t m_nHeight = 0;
    std::int32_t m_nImageBytes = 0; ///< width x height x planes
    std::int32_t m_nPlanes = 0;
    std::unique_ptr<std::uint8_t[]> m_maskBuffer; ///< mask bytes, or null
    std::int32_t m_nMaskWidth = 0;
    std::int32_t m_nMaskHeight = 0;
    std::int32_t m_nMaskRowBytes = 0;
    std::int32_t m_nMaskBytes = 0; ///< height x row bytes

    /// Frees both buffers and sets every field to zero.
    void Clear() noexcept;
    /// Width and height as given; planes from the record's inLoPlane..inHiPlane.
    void SetDimensions(std::int32_t nWidth, std::int32_t nHeight,
                       const FilterRecord& record) noexcept;
    /// Sets the dimensions and allocates width x height x planes zeroed bytes.
    /// Returns the buffer, or null when the size is invalid or memory is short
    /// (the pointer then stays null).
    std::uint8_t* AllocatePixels(std::int32_t nWidth, std::int32_t nHeight,
                                 const FilterRecord& record) noexcept;
    /// Allocates height x row bytes zeroed mask bytes and records the three
    /// values. Returns the buffer, or null when the size is invalid or memory is short.
    std::uint8_t* AllocateMask(std::int32_t nWidth, std::int32_t nHeight,
                               std::int32_t nRowBytes) noexcept;
    /// Frees both buffers.
    void Release() noexcept;
};
