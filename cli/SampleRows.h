// SampleRows.h - one row of a file's interleaved samples to the tool's colour
// samples and alpha plane, and back. Integer samples are value / nMax; floats
// are taken as they are.
#pragma once

#include "ImageFile.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace gw::cli {

/// pIn holds nWidth pixels of nColour samples plus one alpha sample when pAlpha
/// is not null.
template <class T>
void UnpackRow(const T* pIn, int nWidth, int nColour, float* pColour, float* pAlpha) noexcept
{
    float fScale = 1.0f;
    if constexpr (!std::is_floating_point_v<T>) {
        fScale = static_cast<float>((std::uint32_t{1} << (8 * sizeof(T))) - 1u);
    }
    const auto Value = [fScale](T nSample) {
        if constexpr (std::is_floating_point_v<T>) {
            return nSample;
        } else {
            return static_cast<float>(nSample) / fScale;
        }
    };
    if (pAlpha == nullptr) {
        const std::size_t nCount =
            static_cast<std::size_t>(nWidth) * static_cast<std::size_t>(nColour);
        for (std::size_t i = 0; i < nCount; ++i) {
            pColour[i] = Value(pIn[i]);
        }
        return;
    }
    for (int x = 0; x < nWidth; ++x) {
        for (int c = 0; c < nColour; ++c) {
            *pColour++ = Value(*pIn++);
        }
        pAlpha[x] = Value(*pIn++);
    }
}

/// The inverse of UnpackRow: integer samples are quantised with QuantizeSample.
template <class T>
void PackRow(const float* pColour, const float* pAlpha, int nWidth, int nColour, T* pOut) noexcept
{
    const auto Sample = [](float fValue) {
        if constexpr (std::is_floating_point_v<T>) {
            return fValue;
        } else {
            return static_cast<T>(QuantizeSample(
                fValue, static_cast<std::uint32_t>((std::uint32_t{1} << (8 * sizeof(T))) - 1u)));
        }
    };
    if (pAlpha == nullptr) {
        const std::size_t nCount =
            static_cast<std::size_t>(nWidth) * static_cast<std::size_t>(nColour);
        for (std::size_t i = 0; i < nCount; ++i) {
            pOut[i] = Sample(pColour[i]);
        }
        return;
    }
    for (int x = 0; x < nWidth; ++x) {
        for (int c = 0; c < nColour; ++c) {
            *pOut++ = Sample(*pColour++);
        }
        *pOut++ = Sample(pAlpha[x]);
    }
}

/// The colour samples and alpha of row r.
inline float* ColourRow(FloatImage& image, int r) noexcept
{
    return image.m_samples.data()
         + static_cast<std::size_t>(r) * static_cast<std::size_t>(image.m_nWidth)
               * static_cast<std::size_t>(image.m_nChannels);
}
inline const float* ColourRow(const FloatImage& image, int r) noexcept
{
    return ColourRow(const_cast<FloatImage&>(image), r);
}
inline float* AlphaRow(FloatImage& image, int r) noexcept
{
    return image.m_alpha.empty()
             ? nullptr
             : image.m_alpha.data() + static_cast<std::size_t>(r) * image.m_nWidth;
}
inline const float* AlphaRow(const FloatImage& image, int r) noexcept
{
    return AlphaRow(const_cast<FloatImage&>(image), r);
}

/// Sizes the image's buffers for nWidth x nHeight pixels.
inline void AllocateImage(FloatImage& image, int nWidth, int nHeight, int nChannels, bool bAlpha,
                          int nBits)
{
    image.m_nWidth = nWidth;
    image.m_nHeight = nHeight;
    image.m_nChannels = nChannels;
    image.m_nSourceBits = nBits;
    image.m_samples = TakeSpareSamples(image.SampleCount());
    image.m_samples.resize(image.SampleCount());
    if (bAlpha) {
        image.m_alpha.resize(static_cast<std::size_t>(nWidth) * static_cast<std::size_t>(nHeight));
    }
}

} // namespace gw::cli
