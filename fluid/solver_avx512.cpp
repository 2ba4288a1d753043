// solver_avx512.cpp -- the step's lane kernels sixteen lanes wide, for
// processors with AVX-512 F, BW and VL (see solver_lanes.inc). Compiled for
// AVX-512 function by function, so the program still starts on any x86-64;
// the step calls these only where the processor has AVX-512.
#include "fluid/fluid.h"

#include <atomic>
#include <cstdlib>

// GCC's AVX-512 headers start some intrinsics from a deliberately
// undefined register and then warn about it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#include <mm_malloc.h>

#define LANE_TARGET __attribute__((target("avx512f,avx512bw,avx512vl")))

namespace {

struct Lanes {
    typedef __m512 V;
    typedef __m512i I;
    typedef __mmask16 Mask;
    static const int N = 16;
    static LANE_TARGET V load(const float *p) { return _mm512_loadu_ps(p); }
    static LANE_TARGET void store(float *p, V x) { _mm512_storeu_ps(p, x); }
    static LANE_TARGET V set1(float x) { return _mm512_set1_ps(x); }
    static LANE_TARGET V add(V a, V b) { return _mm512_add_ps(a, b); }
    static LANE_TARGET V sub(V a, V b) { return _mm512_sub_ps(a, b); }
    static LANE_TARGET V mul(V a, V b) { return _mm512_mul_ps(a, b); }
    static LANE_TARGET V div(V a, V b) { return _mm512_div_ps(a, b); }
    static LANE_TARGET V max(V a, V b) { return _mm512_max_ps(a, b); }
    static LANE_TARGET V min(V a, V b) { return _mm512_min_ps(a, b); }
    static LANE_TARGET I truncate(V x) { return _mm512_cvttps_epi32(x); }
    static LANE_TARGET V to_float(I x) { return _mm512_cvtepi32_ps(x); }
    static LANE_TARGET I lane_numbers(void)
    {
        return _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    }
    static LANE_TARGET V count_from(int i)
    {
        return _mm512_cvtepi32_ps(_mm512_add_epi32(_mm512_set1_epi32(i), lane_numbers()));
    }
    static LANE_TARGET void store_cells(int *cells, I i0, I j0, int stride)
    {
        I c = _mm512_add_epi32(i0, _mm512_mullo_epi32(j0, _mm512_set1_epi32(stride)));
        _mm512_storeu_si512(cells, c);
    }
    // (q[c], q[c + 1]) for two cells in one vector of four.
    static LANE_TARGET __m128 load_two_pairs(const float *q, int c, int d)
    {
        __m128 a = _mm_castsi128_ps(_mm_loadl_epi64((const __m128i *)(q + c)));
        return _mm_loadh_pi(a, (const __m64 *)(q + d));
    }
    static LANE_TARGET V four_pairs(const float *q, const int *cells)
    {
        V v = _mm512_castps128_ps512(load_two_pairs(q, cells[0], cells[1]));
        v = _mm512_insertf32x4(v, load_two_pairs(q, cells[4], cells[5]), 1);
        v = _mm512_insertf32x4(v, load_two_pairs(q, cells[8], cells[9]), 2);
        return _mm512_insertf32x4(v, load_two_pairs(q, cells[12], cells[13]), 3);
    }
    static LANE_TARGET void load_pairs(const float *q, const int *cells, V *left, V *right)
    {
        V a = four_pairs(q, cells), b = four_pairs(q, cells + 2);
        *left = _mm512_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        *right = _mm512_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }
    // Lanes 4g .. 4g+3 of w, each four times.
    static LANE_TARGET V spread(V w, int g)
    {
        I lanes = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
        return _mm512_permutexvar_ps(_mm512_add_epi32(_mm512_set1_epi32(4 * g), lanes), w);
    }
    // The colours of cells[0] + offset .. cells[3] + offset.
    static LANE_TARGET V load_colors(const Color *q0, const int *cells, int offset)
    {
        V v = _mm512_castps128_ps512(_mm_loadu_ps(&q0[cells[0] + offset].r));
        v = _mm512_insertf32x4(v, _mm_loadu_ps(&q0[cells[1] + offset].r), 1);
        v = _mm512_insertf32x4(v, _mm_loadu_ps(&q0[cells[2] + offset].r), 2);
        return _mm512_insertf32x4(v, _mm_loadu_ps(&q0[cells[3] + offset].r), 3);
    }
    // Channels r, g, b of each colour kept, alpha taken from the other.
    static LANE_TARGET V keep_alpha(V rgb, V alpha_from)
    {
        return _mm512_mask_blend_ps(0x8888, rgb, alpha_from);
    }
    // (low, v0, .., v14) and (v1, .., v15, high).
    static LANE_TARGET V shift_up(V v, float low)
    {
        I from = _mm512_sub_epi32(lane_numbers(), _mm512_set1_epi32(1));
        return _mm512_mask_permutexvar_ps(_mm512_set1_ps(low), 0xFFFE, from, v);
    }
    static LANE_TARGET V shift_down(V v, float high)
    {
        I from = _mm512_add_epi32(lane_numbers(), _mm512_set1_epi32(1));
        return _mm512_mask_permutexvar_ps(_mm512_set1_ps(high), 0x7FFF, from, v);
    }
    // Lanes first .. end-1 set.
    static LANE_TARGET Mask lane_mask(int first, int end)
    {
        unsigned bits = 0;
        for (int k = first; k < end; k++) bits |= 1u << k;
        return (Mask)bits;
    }
    static LANE_TARGET V select(Mask m, V yes, V no) { return _mm512_mask_blend_ps(m, no, yes); }
    // Sixteen vectors of sixteen as their columns, through memory.
    static LANE_TARGET void transpose(V *m)
    {
        alignas(64) float a[N][N], b[N][N];
        for (int k = 0; k < N; k++) _mm512_store_ps(a[k], m[k]);
        for (int k = 0; k < N; k++)
            for (int i = 0; i < N; i++) b[i][k] = a[k][i];
        for (int k = 0; k < N; k++) m[k] = _mm512_load_ps(b[k]);
    }
};

} // namespace

#include "fluid/solver_lanes.inc"

const SolverLaneKernels solver_lanes_avx512 = {
    N, lane_add_sources, lane_divergence, lane_gradient, relax_pressure_banded,
    lane_advect_velocity, lane_advect_density};

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
