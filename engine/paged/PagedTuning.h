// PagedTuning.h - the sizes by which the paged path cuts its work.
#pragma once

#include <cstddef>

namespace gw {

/// How the paged path cuts its work. Other values only change how often the files are passed
/// and which vector kernels run, never a result; tests narrow them to put window and block
/// edges inside small grids and to take the way of processors without AVX2.
struct PagedTuning
{
    /// Floats each column window may hold (16 MB); the few columns a line needs are always
    /// held, whatever the budget.
    std::ptrdiff_t nWindowFloats = std::ptrdiff_t{1} << 22;
    /// Bytes of one grid's rows in a block of the stages' row passes (1 MB, at least one row).
    std::size_t nRowBlockBytes = std::size_t{1} << 20;
    /// Whether the couplings and line solves may take their AVX2 kernels where the processor
    /// has AVX2.
    bool bAvx2 = true;
};

} // namespace gw
