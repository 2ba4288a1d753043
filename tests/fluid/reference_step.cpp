// reference_step.cpp -- the solver step written out plainly: every kernel is
// a straight column-major loop (column i outer, row j inner) over the
// program-wide fields, with the relaxations done in place. It shares nothing
// with the shipped step except the fields, the settings and the switches.
// Also the pseudo-random scenes and the field snapshots that the comparisons
// (tests and benchmark) use.
#include "tests/fluid/reference_step.h"

#include "fluid/fluid.h"
#include "tests/support/test_util.h"

#include <cmath>
#include <cstring>
#include <utility>

static int W, H;

static int at(int i, int j) { return i + (W + 2) * j; }

void reference_boundary(float *f, int kind)
{
    W = solver.grid_width;
    H = solver.grid_height;
    if (W < 1 || H < 1) return;
    for (int j = 1; j <= H; j++) {
        f[at(0, j)] = kind == 1 ? -f[at(1, j)] : f[at(1, j)];
        f[at(W + 1, j)] = kind == 1 ? -f[at(W, j)] : f[at(W, j)];
    }
    for (int i = 1; i <= W; i++) {
        f[at(i, 0)] = kind == 2 ? -f[at(i, 1)] : f[at(i, 1)];
        f[at(i, H + 1)] = kind == 2 ? -f[at(i, H)] : f[at(i, H)];
    }
    f[at(0, 0)] = 0.5f * (f[at(1, 0)] + f[at(0, 1)]);
    f[at(0, H + 1)] = 0.5f * (f[at(1, H + 1)] + f[at(0, H)]);
    f[at(W + 1, 0)] = 0.5f * (f[at(W, 0)] + f[at(W + 1, 1)]);
    f[at(W + 1, H + 1)] = 0.5f * (f[at(W, H + 1)] + f[at(W + 1, H)]);
    for (int i = 1; i <= W; i++) {
        for (int j = 1; j <= H; j++) {
            if (wall[at(i, j)] == 0) continue;
            if (kind == 1 || kind == 2) {
                f[at(i, j)] = 0;
                continue;
            }
            const int ni[4] = {i + 1, i - 1, i, i};
            const int nj[4] = {j, j, j + 1, j - 1};
            float sum = 0;
            int count = 0;
            for (int n = 0; n < 4; n++) {
                if (wall[at(ni[n], nj[n])] == 0) {
                    sum += f[at(ni[n], nj[n])];
                    count++;
                }
            }
            f[at(i, j)] = count >= 1 ? sum / count : 0;
        }
    }
}

static void reference_vorticity(void)
{
    float factor = (float)((W + H) * 0.25);
    for (int i = 1; i <= W; i++)
        for (int j = 1; j <= H; j++)
            curl[at(i, j)] = factor * (v[at(i + 1, j)] - v[at(i - 1, j)] - u[at(i, j + 1)] +
                                       u[at(i, j - 1)]);
    reference_boundary(curl, 0);
}

static void reference_confinement(void)
{
    float k = (float)((W + H) * 0.5);
    float dt = solver.timestep;
    for (int i = 2; i <= W - 1; i++) {
        for (int j = 2; j <= H - 1; j++) {
            float dx = 0.5f * (curl[at(i + 1, j)] - curl[at(i - 1, j)]);
            float dy = 0.5f * (curl[at(i, j + 1)] - curl[at(i, j - 1)]);
            int sx = curl[at(i + 1, j)] > 0 ? 1 : -1;
            int sy = curl[at(i, j + 1)] > 0 ? 1 : -1;
            float L = (float)std::sqrt((double)(dx * dx + dy * dy));
            if (L > 1e-10) {
                vort_force_u[at(i, j)] = solver.turbulance * sy * dt * dy * curl[at(i, j)] / (L * k);
                vort_force_v[at(i, j)] = solver.turbulance * sx * dt * dx * curl[at(i, j)] / (L * k);
            } else {
                vort_force_u[at(i, j)] = 0;
                vort_force_v[at(i, j)] = 0;
            }
        }
    }
    reference_boundary(vort_force_u, 0);
    reference_boundary(vort_force_v, 0);
}

static void reference_body_force(float angle, int buoyant)
{
    float theta = (float)(angle * 0.017453292);
    float c = (float)std::cos((double)theta);
    float s = (float)std::sin((double)theta);
    float dt = solver.timestep;
    for (int i = 1; i <= W; i++) {
        for (int j = 1; j <= H; j++) {
            if (!buoyant) {
                float g = solver.gravity_force * dens[at(i, j)];
                u[at(i, j)] = u[at(i, j)] + c * g * dt;
                v[at(i, j)] = v[at(i, j)] + s * g * dt;
            } else {
                float d = dens[at(i, j)];
                float first = 1.1f * (d + solver.buoyancy_force);
                float second = 1.01f * d;
                float F = first - second;
                u[at(i, j)] = u[at(i, j)] + F * c * dt;
                v[at(i, j)] = v[at(i, j)] + s * F * dt;
            }
        }
    }
    reference_boundary(u, 1);
    reference_boundary(v, 2);
}

static void reference_apply_confinement(void)
{
    for (int i = 2; i <= W - 1; i++) {
        for (int j = 2; j <= H - 1; j++) {
            if (u[at(i, j)] != 0) u[at(i, j)] = u[at(i, j)] + vort_force_u[at(i, j)];
            if (v[at(i, j)] != 0) v[at(i, j)] = v[at(i, j)] - vort_force_v[at(i, j)];
        }
    }
    reference_boundary(u, 1);
    reference_boundary(v, 2);
}

static void reference_project(float h)
{
    float *p = u_prev;
    float *d = v_prev;
    for (int i = 1; i <= W; i++) {
        for (int j = 1; j <= H; j++) {
            d[at(i, j)] = -0.5f * h *
                          (u[at(i + 1, j)] - u[at(i - 1, j)] + v[at(i, j + 1)] - v[at(i, j - 1)]);
            p[at(i, j)] = pressure_guess[at(i, j)];
        }
    }
    reference_boundary(d, 0);
    reference_boundary(p, 0);
    for (int k = 0; k < solver.iterations; k++)
        for (int i = 1; i <= W; i++)
            for (int j = 1; j <= H; j++)
                p[at(i, j)] = (d[at(i, j)] + p[at(i - 1, j)] + p[at(i + 1, j)] + p[at(i, j - 1)] +
                               p[at(i, j + 1)]) *
                              0.25f;
    reference_boundary(p, 0);
    for (int i = 1; i <= W; i++) {
        for (int j = 1; j <= H; j++) {
            pressure[at(i, j)] = p[at(i, j)];
            divergence[at(i, j)] = d[at(i, j)];
            u[at(i, j)] = u[at(i, j)] - 0.5f * (p[at(i + 1, j)] - p[at(i - 1, j)]) / h;
            v[at(i, j)] = v[at(i, j)] - 0.5f * (p[at(i, j + 1)] - p[at(i, j - 1)]) / h;
        }
    }
    reference_boundary(u, 1);
    reference_boundary(v, 2);
}

// Bilinear sample position of cell (i, j) traced back along (U, V).
struct Trace {
    int i0, i1, j0, j1;
    float s0, s1, t0, t1;
};

static Trace reference_trace(int i, int j, const float *U, const float *V, float dt0)
{
    float x = i - dt0 * U[at(i, j)];
    float y = j - dt0 * V[at(i, j)];
    if (!(x >= 0.5f)) x = 0.5f;     // x < 0.5, or not a number
    if (x > W + 0.5f) x = W + 0.5f;
    if (!(y >= 0.5f)) y = 0.5f;
    if (y > H + 0.5f) y = H + 0.5f;
    Trace t;
    t.i0 = (int)x;
    t.i1 = t.i0 + 1;
    t.j0 = (int)y;
    t.j1 = t.j0 + 1;
    t.s1 = x - t.i0;
    t.s0 = 1 - t.s1;
    t.t1 = y - t.j0;
    t.t0 = 1 - t.t1;
    return t;
}

static float reference_sample(const Trace &t, const float *q0)
{
    return t.s0 * (t.t0 * q0[at(t.i0, t.j0)] + t.t1 * q0[at(t.i0, t.j1)]) +
           t.s1 * (t.t0 * q0[at(t.i1, t.j0)] + t.t1 * q0[at(t.i1, t.j1)]);
}

void reference_step(void)
{
    W = solver.grid_width;
    H = solver.grid_height;
    if (W < 1 || H < 1) return;
    int N = solver.cell_count;
    float dt = solver.timestep;
    float h = (float)(1.0 / ((W + H) * 0.5));
    float dt0 = (float)(dt * (W + H) * 0.5);

    reference_vorticity();
    reference_confinement();
    if (gravity_on) reference_body_force(270, 0);
    if (buoyancy_on) reference_body_force(90, 1);
    if (vorticity_on) reference_apply_confinement();

    // Velocity.
    for (int n = 0; n < N; n++) {
        u[n] = u[n] + dt * u_prev[n];
        v[n] = v[n] + dt * v_prev[n];
        pressure_guess[n] = pressure_guess[n] + dt * pressure_source[n];
    }
    std::swap(u, u_prev);
    std::swap(v, v_prev);
    {
        float a = solver.viscosity * dt * W * H;
        int sweeps = a == 0 ? 1 : solver.iterations;
        for (int k = 0; k < sweeps; k++) {
            for (int i = 1; i <= W; i++) {
                for (int j = 1; j <= H; j++) {
                    u[at(i, j)] = (a * (u[at(i - 1, j)] + u[at(i + 1, j)] + u[at(i, j - 1)] +
                                        u[at(i, j + 1)]) +
                                   u_prev[at(i, j)]) /
                                  (1 + 4 * a);
                    v[at(i, j)] = (a * (v[at(i - 1, j)] + v[at(i + 1, j)] + v[at(i, j - 1)] +
                                        v[at(i, j + 1)]) +
                                   v_prev[at(i, j)]) /
                                  (1 + 4 * a);
                    pressure_guess[at(i, j)] =
                        (a * (pressure_guess[at(i - 1, j)] + pressure_guess[at(i + 1, j)] +
                              pressure_guess[at(i, j - 1)] + pressure_guess[at(i, j + 1)]) +
                         pressure_source[at(i, j)]) /
                        (1 + 4 * a);
                }
            }
        }
        reference_boundary(u, 1);
        reference_boundary(v, 2);
    }
    reference_project(h);
    std::swap(u, u_prev);
    std::swap(v, v_prev);
    for (int i = 1; i <= W; i++) {
        for (int j = 1; j <= H; j++) {
            Trace t = reference_trace(i, j, u_prev, v_prev, dt0);
            u[at(i, j)] = reference_sample(t, u_prev);
            v[at(i, j)] = reference_sample(t, v_prev);
        }
    }
    reference_boundary(u, 1);
    reference_boundary(v, 2);
    reference_project(h);

    // Density and colour.
    for (int n = 0; n < N; n++) {
        dens[n] = dens[n] + dt * dens_prev[n];
        color[n].r = color[n].r + color_prev[n].r;
        color[n].g = color[n].g + color_prev[n].g;
        color[n].b = color[n].b + color_prev[n].b;
    }
    std::swap(dens, dens_prev);
    std::swap(color, color_prev);
    {
        float a = solver.diffusion * dt * W * H;
        int sweeps = (a == 0 ? 4 : solver.iterations) / 4;
        for (int k = 0; k < sweeps; k++) {
            for (int i = 1; i <= W; i++) {
                for (int j = 1; j <= H; j++) {
                    dens[at(i, j)] = (a * (dens[at(i - 1, j)] + dens[at(i + 1, j)] +
                                           dens[at(i, j - 1)] + dens[at(i, j + 1)]) +
                                      dens_prev[at(i, j)]) /
                                     (1 + 4 * a);
                    Color &c = color[at(i, j)];
                    const Color &l = color[at(i - 1, j)], &r = color[at(i + 1, j)];
                    const Color &dn = color[at(i, j - 1)], &up = color[at(i, j + 1)];
                    const Color &c0 = color_prev[at(i, j)];
                    c.r = (a * (l.r + r.r + dn.r + up.r) + c0.r) / (1 + 4 * a);
                    c.g = (a * (l.g + r.g + dn.g + up.g) + c0.g) / (1 + 4 * a);
                    c.b = (a * (l.b + r.b + dn.b + up.b) + c0.b) / (1 + 4 * a);
                }
            }
        }
        reference_boundary(dens, 0);
    }
    std::swap(dens, dens_prev);
    std::swap(color, color_prev);
    for (int i = 1; i <= W; i++) {
        for (int j = 1; j <= H; j++) {
            Trace t = reference_trace(i, j, u, v, dt0);
            float q = reference_sample(t, dens_prev);
            dens[at(i, j)] = q * (1 - solver.dissipation);
            const Color &a00 = color_prev[at(t.i0, t.j0)], &a01 = color_prev[at(t.i0, t.j1)];
            const Color &a10 = color_prev[at(t.i1, t.j0)], &a11 = color_prev[at(t.i1, t.j1)];
            Color &c = color[at(i, j)];
            c.r = t.s0 * (t.t0 * a00.r + t.t1 * a01.r) + t.s1 * (t.t0 * a10.r + t.t1 * a11.r);
            c.g = t.s0 * (t.t0 * a00.g + t.t1 * a01.g) + t.s1 * (t.t0 * a10.g + t.t1 * a11.g);
            c.b = t.s0 * (t.t0 * a00.b + t.t1 * a01.b) + t.s1 * (t.t0 * a10.b + t.t1 * a11.b);
        }
    }
    reference_boundary(dens, 0);

    for (int n = 0; n < N; n++) {
        pressure_source[n] = 1e-10f;
        u_prev[n] = 1e-10f;
        v_prev[n] = 1e-10f;
        dens_prev[n] = 1e-10f;
        color_prev[n] = Color{1e-10f, 1e-10f, 1e-10f, 1e-10f};
    }
}

// ---------------------------------------------------------------------------
// Scenes and snapshots
// ---------------------------------------------------------------------------

// xorshift32: the same sequence on every machine.
static unsigned next_random(unsigned *state)
{
    unsigned x = *state ? *state : 0x9e3779b9u;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}

// Uniform in [lo, hi).
static float random_between(unsigned *state, float lo, float hi)
{
    return lo + (hi - lo) * (float)(next_random(state) >> 8) / 16777216.0f;
}

static int random_below(unsigned *state, int n) { return n > 0 ? (int)(next_random(state) % n) : 0; }

// The thirteen float fields as their handles point now.
static float **float_fields(void)
{
    static float *now[13];
    float *list[13] = {u, v, u_prev, v_prev, vort_force_u, vort_force_v, curl,
                       pressure, divergence, pressure_guess, pressure_source, dens, dens_prev};
    for (int n = 0; n < 13; n++) now[n] = list[n];
    return now;
}

const std::vector<std::string> &float_field_names(void)
{
    static const std::vector<std::string> names = {
        "u", "v", "u_prev", "v_prev", "vort_force_u", "vort_force_v", "curl",
        "pressure", "divergence", "pressure_guess", "pressure_source", "dens", "dens_prev"};
    return names;
}

FieldSnapshot take_snapshot(void)
{
    FieldSnapshot s;
    int n = solver.cell_count;
    float **fields = float_fields();
    for (int f = 0; f < 13; f++) s.floats.push_back(std::vector<float>(fields[f], fields[f] + n));
    s.color.assign(color, color + n);
    s.color_prev.assign(color_prev, color_prev + n);
    s.wall.assign(wall, wall + n);
    return s;
}

void restore_snapshot(const FieldSnapshot &s)
{
    int n = solver.cell_count;
    float **fields = float_fields();
    for (int f = 0; f < 13; f++) memcpy(fields[f], s.floats[f].data(), n * sizeof(float));
    memcpy(color, s.color.data(), n * sizeof(Color));
    memcpy(color_prev, s.color_prev.data(), n * sizeof(Color));
    memcpy(wall, s.wall.data(), n * sizeof(int));
}

template <typename T> static int same_bits(const std::vector<T> &a, const std::vector<T> &b)
{
    return a.size() == b.size() && memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

static int same_floats(const float *a, const float *b, size_t n, int nan_alike)
{
    for (size_t k = 0; k < n; k++) {
        if (nan_alike && std::isnan(a[k]) && std::isnan(b[k])) continue;
        if (memcmp(a + k, b + k, sizeof(float)) != 0) return 0;
    }
    return 1;
}

std::string differing_fields(const FieldSnapshot &a, const FieldSnapshot &b, int nan_alike)
{
    std::string out;
    for (int f = 0; f < 13; f++)
        if (a.floats[f].size() != b.floats[f].size() ||
            !same_floats(a.floats[f].data(), b.floats[f].data(), a.floats[f].size(), nan_alike))
            out += float_field_names()[f] + " ";
    if (a.color.size() != b.color.size() ||
        !same_floats(&a.color[0].r, &b.color[0].r, a.color.size() * 4, nan_alike))
        out += "color ";
    if (a.color_prev.size() != b.color_prev.size() ||
        !same_floats(&a.color_prev[0].r, &b.color_prev[0].r, a.color_prev.size() * 4, nan_alike))
        out += "color_prev ";
    if (!same_bits(a.wall, b.wall)) out += "wall ";
    return out;
}

void make_scene(const Scene &scene)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = scene.width;
    p.grid_rows = scene.height;
    p.iterations = scene.iterations;
    p.viscosity = scene.viscosity;
    p.diffusion = scene.diffusion;
    p.dissipation = scene.dissipation;
    start_program_with(p);
    gravity_on = scene.gravity;
    buoyancy_on = scene.buoyancy;
    vorticity_on = scene.vorticity;

    unsigned state = scene.seed;
    int n = solver.cell_count;
    int w = solver.grid_width, h = solver.grid_height;
    for (int k = 0; k < n; k++) {
        u[k] = random_between(&state, -0.5f, 0.5f);
        v[k] = random_between(&state, -0.5f, 0.5f);
        dens[k] = random_between(&state, 0.0f, 20.0f);
        color[k] = Color{random_between(&state, 0, 1), random_between(&state, 0, 1),
                         random_between(&state, 0, 1), random_between(&state, 0, 1)};
        pressure_guess[k] = random_between(&state, -1.0f, 1.0f);
        vort_force_u[k] = random_between(&state, -0.01f, 0.01f);
        vort_force_v[k] = random_between(&state, -0.01f, 0.01f);
        u_prev[k] = v_prev[k] = dens_prev[k] = pressure_source[k] = SOURCE_REFILL;
        color_prev[k] = Color{SOURCE_REFILL, SOURCE_REFILL, SOURCE_REFILL, SOURCE_REFILL};
    }
    // Exact zeros (and negative zeros) where the rule and the confinement
    // treat zero specially.
    for (int m = 0; m < n / 8 + 1; m++) {
        int k = random_below(&state, n);
        u[k] = (m & 1) ? -0.0f : 0.0f;
        v[random_below(&state, n)] = 0.0f;
    }
    if (!scene.walls) return;
    for (int m = 0; m < (w * h) / 12 + 1; m++)
        wall[cell_index(1 + random_below(&state, w), 1 + random_below(&state, h))] = CELL_WALL;
    // Paddle-like blocks, one touching the left side, one the right.
    int paddle_h = h / 4 + 1;
    int row = 1 + random_below(&state, h);
    for (int j = row; j < row + paddle_h && j <= h; j++) {
        wall[cell_index(1, j)] = CELL_PLAYER_PADDLE;
        if (w >= 2) wall[cell_index(2, j)] = CELL_PLAYER_PADDLE;
        wall[cell_index(w, j)] = CELL_OPPONENT_PADDLE;
    }
    // A solid 3 x 3 block.
    if (w >= 5 && h >= 5) {
        int ci = 2 + random_below(&state, w - 3), cj = 2 + random_below(&state, h - 3);
        for (int dj = -1; dj <= 1; dj++)
            for (int di = -1; di <= 1; di++) wall[cell_index(ci + di, cj + dj)] = CELL_WALL;
    }
}

void enter_frame_sources(unsigned seed, int frame)
{
    unsigned state = seed * 2654435761u + (unsigned)frame * 40503u + 1u;
    int w = solver.grid_width, h = solver.grid_height;
    if (w < 1 || h < 1) return;
    int touches = 1 + (w * h) / 40;
    for (int m = 0; m < touches; m++) {
        int c = cell_index(1 + random_below(&state, w), 1 + random_below(&state, h));
        switch (random_below(&state, 5)) {
        case 0:     // stirring
            u_prev[c] = random_between(&state, -40, 40);
            v_prev[c] = random_between(&state, -40, 40);
            break;
        case 1:     // ink
            dens_prev[c] = random_between(&state, 0, 500);
            color_prev[c] = Color{random_between(&state, 0, 1), random_between(&state, 0, 1),
                                  random_between(&state, 0, 1), 1.0f};
            break;
        case 2:
            pressure_source[c] = SINK_PRESSURE;
            break;
        case 3:
            pressure_source[c] = SHOCKWAVE_PRESSURE;
            break;
        default:    // a jet-like push with ink
            u_prev[c] = random_between(&state, -5, 5);
            dens_prev[c] = JET_DENSITY_AMOUNT;
            break;
        }
    }
}
