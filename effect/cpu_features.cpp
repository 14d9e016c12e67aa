#include "effect/cpu_features.h"

#include <cstdint>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <immintrin.h>
#include <intrin.h>
#define GYROFOLD_X86 1
#elif (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#define GYROFOLD_X86 1
#endif

#ifdef GYROFOLD_X86
namespace {

struct CpuidRegisters {
    uint32_t eax, ebx, ecx, edx;
};

CpuidRegisters Cpuid(uint32_t leaf, uint32_t subleaf)
{
    CpuidRegisters r = {};
#ifdef _MSC_VER
    int values[4];
    __cpuidex(values, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<uint32_t>(values[0]), static_cast<uint32_t>(values[1]), static_cast<uint32_t>(values[2]),
         static_cast<uint32_t>(values[3])};
#else
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
}

// The register state the operating system saves (XCR0). Asked only after
// cpuid reports OSXSAVE, without which the instruction faults.
uint64_t EnabledRegisterState()
{
#ifdef _MSC_VER
    return _xgetbv(0);
#else
    // The intrinsic would need the whole file compiled for XSAVE.
    uint32_t low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (uint64_t{high} << 32) | low;
#endif
}

}  // namespace
#endif

bool ProcessorHasAvx2()
{
#ifdef GYROFOLD_X86
    if (Cpuid(0, 0).eax < 7) return false;
    const CpuidRegisters basic = Cpuid(1, 0);
    const bool osxsave = (basic.ecx >> 27) & 1, avx = (basic.ecx >> 28) & 1;
    if (!osxsave || !avx) return false;
    // Bits 1 and 2: the SSE and the upper AVX halves are saved.
    if ((EnabledRegisterState() & 6) != 6) return false;
    return (Cpuid(7, 0).ebx >> 5) & 1;
#else
    return false;
#endif
}
