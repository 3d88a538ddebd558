// HostSamples.h - the host's 8- and 16-bit samples as floats and back, and as
// the dialog's 8-bit preview values.
//
// The sample of row r, column c, plane p of the processed area is element
// r x rowBytes / sampleBytes + c x P + p of inData (outData for the
// destination). Read as floats, 8-bit samples are divided by 255 and 16-bit
// samples by 32768 (the host's white); written back, floats in [0, 1] become
// the integer part of 255 x v (8-bit) or the nearest integer to 32768 x v
// (16-bit), so white stays white at both depths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ImageBuffer.h"
#include "hostapi/HostApi.h"

namespace gw::plugin {

inline constexpr float kScale8 = 255.0f;

/// Bytes of one host sample: the record's inPlaneBytes when it is set (1 or 2),
/// else what the image mode implies.
int SampleBytes(const FilterRecord& record) noexcept;

/// Checks that rows of nRowBytes hold the area's pixels and returns the row
/// stride in samples; throws std::invalid_argument for a host buffer that could
/// not hold them.
std::ptrdiff_t RowStride(std::int32_t nRowBytes, const ImageBuffer& image, int nSampleBytes);

/// Sample nIndex of pData as a float.
float ReadSample(const void* pData, std::ptrdiff_t nIndex, bool bDeep) noexcept;

/// Stores v, at most 1 (a value that is not below 1, or not a number, is 1)
/// and at least 0: 8-bit truncated, 16-bit rounded to the nearest integer.
void WriteSample(void* pData, std::ptrdiff_t nIndex, float v, bool bDeep) noexcept;

/// A host sample as an 8-bit preview value: 8-bit samples as they are, 16-bit
/// samples scaled to 15 bits and shifted right by 7 (at most 255).
std::uint8_t PreviewSample(const void* pData, std::ptrdiff_t nIndex, bool bDeep) noexcept;

/// Copies source sample nIn to destination sample nOut unchanged.
void CopySample(const FilterRecord& record, std::ptrdiff_t nIn, std::ptrdiff_t nOut,
                bool bDeep) noexcept;

} // namespace gw::plugin
