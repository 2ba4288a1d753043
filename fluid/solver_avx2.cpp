// solver_avx2.cpp -- the step's lane kernels eight lanes wide, for
// processors with AVX2 (see solver_lanes.inc). Compiled for AVX2 function
// by function, so the program still starts on any x86-64; the step calls
// these only where the processor has AVX2.
#include "fluid/fluid.h"

#include <atomic>
#include <cstdlib>

#include <immintrin.h>
#include <mm_malloc.h>

#define LANE_TARGET __attribute__((target("avx2")))

namespace {

struct Lanes {
    typedef __m256 V;
    typedef __m256i I;
    typedef __m256 Mask;
    static const int N = 8;
    static LANE_TARGET V load(const float *p) { return _mm256_loadu_ps(p); }
    static LANE_TARGET void store(float *p, V x) { _mm256_storeu_ps(p, x); }
    static LANE_TARGET V set1(float x) { return _mm256_set1_ps(x); }
    static LANE_TARGET V add(V a, V b) { return _mm256_add_ps(a, b); }
    static LANE_TARGET V sub(V a, V b) { return _mm256_sub_ps(a, b); }
    static LANE_TARGET V mul(V a, V b) { return _mm256_mul_ps(a, b); }
    static LANE_TARGET V div(V a, V b) { return _mm256_div_ps(a, b); }
    static LANE_TARGET V max(V a, V b) { return _mm256_max_ps(a, b); }
    static LANE_TARGET V min(V a, V b) { return _mm256_min_ps(a, b); }
    static LANE_TARGET I truncate(V x) { return _mm256_cvttps_epi32(x); }
    static LANE_TARGET V to_float(I x) { return _mm256_cvtepi32_ps(x); }
    static LANE_TARGET V count_from(int i)
    {
        return _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(i),
                                                   _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
    }
    static LANE_TARGET void store_cells(int *cells, I i0, I j0, int stride)
    {
        I c = _mm256_add_epi32(i0, _mm256_mullo_epi32(j0, _mm256_set1_epi32(stride)));
        _mm256_storeu_si256((__m256i *)cells, c);
    }
    // (q[c], q[c + 1]) for two cells in one vector of four.
    static LANE_TARGET __m128 load_two_pairs(const float *q, int c, int d)
    {
        __m128 a = _mm_castsi128_ps(_mm_loadl_epi64((const __m128i *)(q + c)));
        return _mm_loadh_pi(a, (const __m64 *)(q + d));
    }
    static LANE_TARGET void load_pairs(const float *q, const int *cells, V *left, V *right)
    {
        V a = _mm256_set_m128(load_two_pairs(q, cells[4], cells[5]),
                              load_two_pairs(q, cells[0], cells[1]));
        V b = _mm256_set_m128(load_two_pairs(q, cells[6], cells[7]),
                              load_two_pairs(q, cells[2], cells[3]));
        *left = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        *right = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }
    // Lanes 2g and 2g+1 of w, each four times.
    static LANE_TARGET V spread(V w, int g)
    {
        I lanes = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
        return _mm256_permutevar8x32_ps(w, _mm256_add_epi32(_mm256_set1_epi32(2 * g), lanes));
    }
    // The colours of cells[0] + offset and cells[1] + offset.
    static LANE_TARGET V load_colors(const Color *q0, const int *cells, int offset)
    {
        return _mm256_set_m128(_mm_loadu_ps(&q0[cells[1] + offset].r),
                               _mm_loadu_ps(&q0[cells[0] + offset].r));
    }
    // Channels r, g, b of each colour kept, alpha taken from the other.
    static LANE_TARGET V keep_alpha(V rgb, V alpha_from)
    {
        return _mm256_blend_ps(rgb, alpha_from, 0x88);
    }
    // (low, v0, .., v6) and (v1, .., v7, high).
    static LANE_TARGET V shift_up(V v, float low)
    {
        V moved = _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6));
        return _mm256_blend_ps(moved, _mm256_set1_ps(low), 0x01);
    }
    static LANE_TARGET V shift_down(V v, float high)
    {
        V moved = _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 7));
        return _mm256_blend_ps(moved, _mm256_set1_ps(high), 0x80);
    }
    // Lanes first .. end-1 set.
    static LANE_TARGET Mask lane_mask(int first, int end)
    {
        __m256i k = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        __m256i from = _mm256_cmpgt_epi32(_mm256_set1_epi32(first), k);   // k < first
        __m256i below = _mm256_cmpgt_epi32(_mm256_set1_epi32(end), k);    // k < end
        return _mm256_castsi256_ps(_mm256_andnot_si256(from, below));
    }
    static LANE_TARGET V select(Mask m, V yes, V no) { return _mm256_blendv_ps(no, yes, m); }
    // Eight vectors of eight as their columns: pairs interleaved, then
    // quadruples, then the halves swapped between vectors four apart.
    static LANE_TARGET void transpose(V *m)
    {
        V t[8], u[8];
        for (int k = 0; k < 8; k += 2) {
            t[k] = _mm256_unpacklo_ps(m[k], m[k + 1]);
            t[k + 1] = _mm256_unpackhi_ps(m[k], m[k + 1]);
        }
        for (int k = 0; k < 8; k += 4) {
            u[k] = _mm256_shuffle_ps(t[k], t[k + 2], _MM_SHUFFLE(1, 0, 1, 0));
            u[k + 1] = _mm256_shuffle_ps(t[k], t[k + 2], _MM_SHUFFLE(3, 2, 3, 2));
            u[k + 2] = _mm256_shuffle_ps(t[k + 1], t[k + 3], _MM_SHUFFLE(1, 0, 1, 0));
            u[k + 3] = _mm256_shuffle_ps(t[k + 1], t[k + 3], _MM_SHUFFLE(3, 2, 3, 2));
        }
        for (int k = 0; k < 4; k++) {
            m[k] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x20);
            m[k + 4] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x31);
        }
    }
};

} // namespace

#include "fluid/solver_lanes.inc"

const SolverLaneKernels solver_lanes_avx2 = {
    N, lane_add_sources, lane_divergence, lane_gradient, relax_pressure_banded,
    lane_advect_velocity, lane_advect_density};
