// PixelLanes.h - the stages' row kernels over vector lanes, with the bits of the straightforward
// rows (stages/PixelRows.h).
//
// Each kernel computes every value with the operations of its straightforward counterpart, in
// the same order (no fused, reordered or approximate arithmetic), several pixels at a time;
// branches become selects on the same comparisons. Lanes whose inputs the lane form cannot
// prove equal (zero, subnormal, infinite, NaN or negative arguments of the power, a power
// outside the table range, non-finite colour inputs) are recomputed by the straightforward row.
//
// Two sets exist on x86: the baseline (SSE2; 2 doubles, 4 floats a vector) and one for
// processors with AVX2 (4 doubles, 8 floats). Lanes() picks the best the processor runs; both
// give the same bits. Elsewhere the baseline set is the same templates on GCC's generic
// vectors.
#pragma once

#include "stages/PixelRows.h"

namespace gw::pixel {

/// The baseline set (runs on every processor of the target).
const LaneKernels& BaselineLanes() noexcept;

/// The AVX2 set, or null when the processor (or the target) has none.
const LaneKernels* Avx2Lanes() noexcept;

/// The fastest set the processor runs.
const LaneKernels& Lanes() noexcept;

} // namespace gw::pixel
