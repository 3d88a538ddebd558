// CpuFeatures.h - which vector instructions the processor running the engine has.
//
// The engine is built for the baseline of its target (SSE2 on x86); kernels with AVX or AVX2
// bodies are chosen at run time from these answers, so the library runs on any x86 processor.
// Either choice gives the same bits.
#pragma once

namespace gw::cpu {

#if defined(__x86_64__) || defined(__i386__)
inline bool HasAvx() noexcept
{
    static const bool bAvx = [] {
        __builtin_cpu_init(); // also when called before the runtime's own initialisation
        return __builtin_cpu_supports("avx") != 0;
    }();
    return bAvx;
}

inline bool HasAvx2() noexcept
{
    static const bool bAvx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return bAvx2;
}
#else
inline bool HasAvx() noexcept
{
    return false;
}

inline bool HasAvx2() noexcept
{
    return false;
}
#endif

} // namespace gw::cpu
