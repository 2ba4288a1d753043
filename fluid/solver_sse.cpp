// solver_sse.cpp -- the step's lane kernels four lanes wide, in the SSE2
// every x86-64 processor has (see solver_lanes.inc). No state of its own
// beyond the shared kernels' scratch.
#include "fluid/fluid.h"

#include <atomic>
#include <cstdlib>

#include <emmintrin.h>
#include <mm_malloc.h>

#define LANE_TARGET

namespace {

struct Lanes {
    typedef __m128 V;
    typedef __m128i I;
    typedef __m128 Mask;
    static const int N = 4;
    static V load(const float *p) { return _mm_loadu_ps(p); }
    static void store(float *p, V x) { _mm_storeu_ps(p, x); }
    static V set1(float x) { return _mm_set1_ps(x); }
    static V add(V a, V b) { return _mm_add_ps(a, b); }
    static V sub(V a, V b) { return _mm_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm_mul_ps(a, b); }
    static V div(V a, V b) { return _mm_div_ps(a, b); }
    static V max(V a, V b) { return _mm_max_ps(a, b); }
    static V min(V a, V b) { return _mm_min_ps(a, b); }
    static I truncate(V x) { return _mm_cvttps_epi32(x); }
    static V to_float(I x) { return _mm_cvtepi32_ps(x); }
    static V count_from(int i)
    {
        return _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(i), _mm_setr_epi32(0, 1, 2, 3)));
    }
    // SSE2 has no 32-bit multiply of four lanes.
    static void store_cells(int *cells, I i0, I j0, int stride)
    {
        alignas(16) int a[N], b[N];
        _mm_store_si128((__m128i *)a, i0);
        _mm_store_si128((__m128i *)b, j0);
        for (int k = 0; k < N; k++) cells[k] = a[k] + stride * b[k];
    }
    // (q[c], q[c + 1]) for two cells in one vector.
    static __m128 load_two_pairs(const float *q, int c, int d)
    {
        __m128 a = _mm_castsi128_ps(_mm_loadl_epi64((const __m128i *)(q + c)));
        return _mm_loadh_pi(a, (const __m64 *)(q + d));
    }
    static void load_pairs(const float *q, const int *cells, V *left, V *right)
    {
        V a = load_two_pairs(q, cells[0], cells[1]), b = load_two_pairs(q, cells[2], cells[3]);
        *left = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        *right = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }
    // Lane g of w, four times (a vector holds one colour).
    static V spread(V w, int g)
    {
        alignas(16) float lanes[N];
        _mm_store_ps(lanes, w);
        return _mm_set1_ps(lanes[g]);
    }
    // The colour of cells[0] + offset.
    static V load_colors(const Color *q0, const int *cells, int offset)
    {
        return _mm_loadu_ps(&q0[cells[0] + offset].r);
    }
    // Channels r, g, b kept, alpha taken from the other colour.
    static V keep_alpha(V rgb, V alpha_from)
    {
        const __m128 rgb_mask = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
        return _mm_or_ps(_mm_and_ps(rgb_mask, rgb), _mm_andnot_ps(rgb_mask, alpha_from));
    }
    // (low, v0, v1, v2) and (v1, v2, v3, high).
    static V shift_up(V v, float low)
    {
        __m128 t = _mm_shuffle_ps(_mm_set_ss(low), v, _MM_SHUFFLE(0, 0, 0, 0));
        return _mm_shuffle_ps(t, v, _MM_SHUFFLE(2, 1, 2, 0));
    }
    static V shift_down(V v, float high)
    {
        __m128 t = _mm_shuffle_ps(v, _mm_set_ss(high), _MM_SHUFFLE(0, 0, 3, 3));
        return _mm_shuffle_ps(v, t, _MM_SHUFFLE(2, 0, 2, 1));
    }
    // Lanes first .. end-1 set.
    static Mask lane_mask(int first, int end)
    {
        int bits[N];
        for (int k = 0; k < N; k++) bits[k] = (k >= first && k < end) ? -1 : 0;
        return _mm_castsi128_ps(_mm_setr_epi32(bits[0], bits[1], bits[2], bits[3]));
    }
    // Four vectors of four as their columns.
    static void transpose(V *m) { _MM_TRANSPOSE4_PS(m[0], m[1], m[2], m[3]); }
    static V select(Mask m, V yes, V no)
    {
        return _mm_or_ps(_mm_and_ps(m, yes), _mm_andnot_ps(m, no));
    }
};

} // namespace

#include "fluid/solver_lanes.inc"

const SolverLaneKernels solver_lanes_sse = {
    N, lane_add_sources, lane_divergence, lane_gradient, relax_pressure_banded,
    lane_advect_velocity, lane_advect_density};
