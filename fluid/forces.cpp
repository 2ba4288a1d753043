// forces.cpp -- the force stage that opens every solver step: vorticity
// (curl), the vorticity-confinement force, gravity and buoyancy. Writes
// curl, vort_force_u, vort_force_v and, when the switches are on, u and v.
// Every kernel works row by row and splits the rows between the solver's
// threads; each cell's value is computed from the same operands in the same
// order whichever thread computes it.
#include "fluid/fluid.h"

#include <cmath>

#include <emmintrin.h>

static const double DEGREES_TO_RADIANS = 0.017453292;
static const float GRAVITY_ANGLE = 270.0f;      // degrees: towards row 1
static const float BUOYANCY_ANGLE = 90.0f;      // degrees: upwards
static const double CONFINEMENT_MIN_GRADIENT = 1e-10;
static const float BUOYANCY_DENSITY_GAIN = 1.1f;
static const float BUOYANCY_DENSITY_LOSS = 1.01f;

static int grid_usable(void)
{
    int w = solver.grid_width, h = solver.grid_height;
    return w >= 1 && h >= 1 && solver.cell_count == (w + 2) * (h + 2);
}

// Rows first .. last of `part` when rows lo .. hi are split into `parts`.
static void part_rows(int lo, int hi, int part, int parts, int *first, int *last)
{
    int rows = hi - lo + 1;
    if (rows < 0) rows = 0;
    *first = lo + (int)((long long)rows * part / parts);
    *last = lo + (int)((long long)rows * (part + 1) / parts) - 1;
}

static void vorticity_rows(void *, int part, int parts)
{
    int w = solver.grid_width, stride = w + 2;
    float scale = (float)((solver.grid_width + solver.grid_height) * 0.25);
    int first, last;
    part_rows(1, solver.grid_height, part, parts, &first, &last);
    for (int j = first; j <= last; j++) {
        for (int i = 1; i <= w; i++) {
            int c = i + stride * j;
            curl[c] = scale * (v[c + 1] - v[c - 1] - u[c + stride] + u[c - stride]);
        }
    }
}

void compute_vorticity(void)
{
    if (!grid_usable()) return;
    run_solver_parts(vorticity_rows, nullptr);
    set_boundary(curl, BOUNDARY_SCALAR);
}

// The largest float not above CONFINEMENT_MIN_GRADIENT: a float length
// exceeds the one exactly when it exceeds the other.
static float confinement_floor(void)
{
    float f = (float)CONFINEMENT_MIN_GRADIENT;
    if ((double)f > CONFINEMENT_MIN_GRADIENT) f = nextafterf(f, 0.0f);
    return f;
}

// 1 where the mask is set, -1 elsewhere.
static inline __m128 unit_sign(__m128 positive)
{
    return _mm_or_ps(_mm_and_ps(positive, _mm_set1_ps(1.0f)),
                     _mm_andnot_ps(positive, _mm_set1_ps(-1.0f)));
}

// Four cells of a row at a time, each lane with the scalar formula's
// operations in its order; the rest of the row one cell at a time.
static void confinement_rows(void *, int part, int parts)
{
    int w = solver.grid_width, stride = w + 2;
    float k = (float)((solver.grid_width + solver.grid_height) * 0.5);
    float dt = solver.timestep;
    float turbulance = solver.turbulance;
    const float *c0 = curl;
    float *fu = vort_force_u, *fv = vort_force_v;
    const __m128 half = _mm_set1_ps(0.5f), zero = _mm_setzero_ps();
    const __m128 vk = _mm_set1_ps(k), vdt = _mm_set1_ps(dt), vturb = _mm_set1_ps(turbulance);
    const __m128 floor = _mm_set1_ps(confinement_floor());
    int first, last;
    part_rows(2, solver.grid_height - 1, part, parts, &first, &last);
    for (int j = first; j <= last; j++) {
        int i = 2;
        for (; i + 3 <= w - 1; i += 4) {
            int c = i + stride * j;
            __m128 right = _mm_loadu_ps(c0 + c + 1), up = _mm_loadu_ps(c0 + c + stride);
            __m128 dx = _mm_mul_ps(half, _mm_sub_ps(right, _mm_loadu_ps(c0 + c - 1)));
            __m128 dy = _mm_mul_ps(half, _mm_sub_ps(up, _mm_loadu_ps(c0 + c - stride)));
            __m128 sx = unit_sign(_mm_cmpgt_ps(right, zero));
            __m128 sy = unit_sign(_mm_cmpgt_ps(up, zero));
            __m128 length = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)));
            __m128 here = _mm_loadu_ps(c0 + c);
            __m128 scale = _mm_mul_ps(length, vk);
            __m128 force_u = _mm_div_ps(
                _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(vturb, sy), vdt), dy), here), scale);
            __m128 force_v = _mm_div_ps(
                _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(vturb, sx), vdt), dx), here), scale);
            __m128 steep = _mm_cmpgt_ps(length, floor);
            _mm_storeu_ps(fu + c, _mm_and_ps(steep, force_u));
            _mm_storeu_ps(fv + c, _mm_and_ps(steep, force_v));
        }
        for (; i <= w - 1; i++) {
            int c = i + stride * j;
            float dx = 0.5f * (c0[c + 1] - c0[c - 1]);
            float dy = 0.5f * (c0[c + stride] - c0[c - stride]);
            int sx = c0[c + 1] > 0 ? 1 : -1;
            int sy = c0[c + stride] > 0 ? 1 : -1;
            float length = sqrtf(dx * dx + dy * dy);
            if (length > CONFINEMENT_MIN_GRADIENT) {
                fu[c] = turbulance * sy * dt * dy * c0[c] / (length * k);
                fv[c] = turbulance * sx * dt * dx * c0[c] / (length * k);
            } else {
                fu[c] = 0.0f;
                fv[c] = 0.0f;
            }
        }
    }
}

// The outermost interior ring is left as it was.
void compute_confinement(void)
{
    if (!grid_usable()) return;
    run_solver_parts(confinement_rows, nullptr);
    set_boundary(vort_force_u, BOUNDARY_SCALAR);
    set_boundary(vort_force_v, BOUNDARY_SCALAR);
}

// Direction of a body force: cosine and sine of an angle in degrees.
struct Direction {
    float c, s;
};

static Direction direction_of(float degrees)
{
    float theta = (float)(degrees * DEGREES_TO_RADIANS);
    return Direction{(float)cos((double)theta), (float)sin((double)theta)};
}

static void gravity_rows(void *ctx, int part, int parts)
{
    Direction d = *(const Direction *)ctx;
    int w = solver.grid_width, stride = w + 2;
    float dt = solver.timestep;
    int first, last;
    part_rows(1, solver.grid_height, part, parts, &first, &last);
    for (int j = first; j <= last; j++) {
        for (int i = 1; i <= w; i++) {
            int c = i + stride * j;
            float g = solver.gravity_force * dens[c];
            u[c] += d.c * g * dt;
            v[c] += d.s * g * dt;
        }
    }
}


static void buoyancy_rows(void *ctx, int part, int parts)
{
    Direction d = *(const Direction *)ctx;
    int w = solver.grid_width, stride = w + 2;
    float dt = solver.timestep;
    int first, last;
    part_rows(1, solver.grid_height, part, parts, &first, &last);
    for (int j = first; j <= last; j++) {
        for (int i = 1; i <= w; i++) {
            int c = i + stride * j;
            float density = dens[c];
            float gain = BUOYANCY_DENSITY_GAIN * (density + solver.buoyancy_force);
            float loss = BUOYANCY_DENSITY_LOSS * density;
            float force = gain - loss;
            u[c] += force * d.c * dt;
            v[c] += d.s * force * dt;
        }
    }
}

// A body force along an angle: its rows, then the velocity's boundary.
static void apply_body_force(void (*rows)(void *, int, int), float degrees)
{
    if (!grid_usable()) return;
    Direction d = direction_of(degrees);
    run_solver_parts(rows, &d);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
}

void apply_gravity(void) { apply_body_force(gravity_rows, GRAVITY_ANGLE); }

void apply_buoyancy(void) { apply_body_force(buoyancy_rows, BUOYANCY_ANGLE); }

static void apply_confinement_rows(void *, int part, int parts)
{
    int w = solver.grid_width, stride = w + 2;
    int first, last;
    part_rows(2, solver.grid_height - 1, part, parts, &first, &last);
    for (int j = first; j <= last; j++) {
        for (int i = 2; i <= w - 1; i++) {
            int c = i + stride * j;
            if (u[c] != 0.0f) u[c] += vort_force_u[c];
            if (v[c] != 0.0f) v[c] -= vort_force_v[c];
        }
    }
}

// Velocity components that are exactly zero (as in wall cells) stay zero.
void apply_confinement(void)
{
    if (!grid_usable()) return;
    run_solver_parts(apply_confinement_rows, nullptr);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
}
