// Prepare.cpp - the opening steps of a run: the bounds of the data, their normalisation onto
// [0, 1] and the conversion of colour to hue, saturation and value (with the conversion of one
// pixel); and which kernel set the stages run (the pool they run on is the engine's,
// ImageEnginePool.cpp).
//
// Each step is one kernel over a range of rows of the buffer, which StageRows.h spreads over
// the pool; the steps report no progress of their own (Run reports each as a whole).
#include "CImageEngine.h"

#include "PixelMath.h"
#include "PixelRows.h"
#include "StageRows.h"
#include "lanes/PixelLanes.h"

#include <cmath>



const gw::pixel::LaneKernels& CImageEngine::PixelKernels() const noexcept
{
    return m_bReferencePath ? gw::pixel::ScalarRows() : gw::pixel::Lanes();
}



void CImageEngine::FindBounds(std::uint64_t nFloats) noexcept
{
    // Both bounds start at 0, so 0 always lies inside them. Rows in parts; the parts' bounds,
    // combined in part order with the same comparisons, are those of one pass in order.
    const std::size_t nRowFloats = nFloats / static_cast<std::uint64_t>(m_nRows);
    gw::CWorkerPool* pPool = StagePool();
    const gw::pixel::LaneKernels& kernels = PixelKernels();
    gw::CPartExtremes bounds(0.0f, 0.0f, false);
    gw::ForParts(pPool, m_nRows, 16, [&](int nPart, int nBegin, int nEnd) {
        gw::CPartExtremes::Pair& part = bounds.Part(nPart);
        const std::size_t nBeginFloat = static_cast<std::size_t>(nBegin) * nRowFloats;
        const std::size_t nEndFloat = static_cast<std::size_t>(nEnd) * nRowFloats;
        kernels.pfnBounds(m_pData + nBeginFloat, nEndFloat - nBeginFloat, part.fMin, part.fMax);
    });
    bounds.Combine(gw::PartsOf(pPool, m_nRows, 16));
    m_fDataMin = bounds.Min();
    m_fDataMax = bounds.Max();
}



void CImageEngine::Normalize(std::uint64_t nFloats) noexcept
{
    const std::size_t nRowFloats = nFloats / static_cast<std::uint64_t>(m_nRows);
    auto forRows = [&](auto&& value) {
        gw::ForParts(StagePool(), m_nRows, 16, [&](int, int nBegin, int nEnd) {
            float* pEnd = m_pData + static_cast<std::size_t>(nEnd) * nRowFloats;
            for (float* p = m_pData + static_cast<std::size_t>(nBegin) * nRowFloats; p != pEnd; ++p)
                *p = value(*p);
        });
    };
    if (!std::isfinite(m_fDataMax - m_fDataMin)) {
        // Finite bounds whose difference overflows a float (3e38 and -3e38):
        // in float the scale is 0 and an overflowing difference gives 0 x inf,
        // not a number. Double holds both; the result is clamped to [0, 1]
        // against the rounding back.
        const double dMin = m_fDataMin;
        const double dScale = 1.0 / (static_cast<double>(m_fDataMax) - dMin);
        forRows([=](float v) {
            const double d = (static_cast<double>(v) - dMin) * dScale;
            return static_cast<float>(d < 0.0 ? 0.0 : (d > 1.0 ? 1.0 : d));
        });
        return;
    }
    const float fMin = m_fDataMin;
    const float fScale = 1.0f / (m_fDataMax - m_fDataMin);
    forRows([=](float v) { return (v - fMin) * fScale; });
}



void CImageEngine::ConvertToHsv() noexcept
{
    const std::size_t nCols = static_cast<std::size_t>(m_nCols);
    const gw::pixel::LaneKernels& kernels = PixelKernels();
    gw::ForParts(StagePool(), m_nRows, 16, [&](int, int nBegin, int nEnd) {
        kernels.pfnRgbToHsvPixels(m_pData + static_cast<std::size_t>(nBegin) * nCols * 3,
                                  static_cast<std::size_t>(nEnd - nBegin) * nCols);
    });
}



void CImageEngine::RgbToHsv(float r, float g, float b, float& h, float& s, float& v) noexcept
{
    const float fMax = gw::pixel::MaxOf3(r, g, b);
    const float fMin = gw::pixel::MinOf3(r, g, b);
    const float fDelta = fMax - fMin;
    v = fMax;
    h = 0.0f;
    s = 0.0f;
    if (fMax == 0.0f)
        return;
    s = fDelta / fMax;
    if (fDelta == 0.0f)
        return;

    if (fMax == r)
        h = (g - b) / fDelta;
    else if (fMax == g)
        h = (b - r) / fDelta + 2.0f;
    else
        h = (r - g) / fDelta + 4.0f;
    if (h < 0.0f)
        h = h + 6.0f;
    // A hue a hair below 0 rounds up to exactly 6 above; that is red again, not
    // the last sextant.
    if (h >= 6.0f)
        h = 0.0f;
}
