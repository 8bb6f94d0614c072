#include "morph/morph_scheduler.h"

namespace solidmorph {

ShapeTable shape_table{};
ShapeParams current_shape = start_shape;

int32_t morph_steps = morph_frames;
int32_t target_index = 6;
int32_t source_index = 1;
int32_t cycle_index = 0;
int32_t period_frame = 0;

namespace {

MorphOrder order = MorphOrder::in_turn;
int32_t order_preset = 0;  // one_preset's
int32_t last_visited = 0;  // random's last preset
uint32_t draw_state = 1;   // random's generator (xorshift32; never 0)

uint32_t next_draw() {
    draw_state ^= draw_state << 13;
    draw_state ^= draw_state >> 17;
    draw_state ^= draw_state << 5;
    return draw_state;
}

void compute_increments() {
    shape_table[0] =
        morph_increments(shape_table[source_index], shape_table[target_index], morph_steps);
}

// One of the presets but the sphere, never the last one drawn.
int32_t draw_preset() {
    const bool any = last_visited < 2;
    const uint32_t choices = uint32_t(preset_count - 1) - (any ? 0u : 1u);
    int32_t pick = 2 + int32_t(next_draw() % choices);
    if (!any && pick >= last_visited) ++pick;
    last_visited = pick;
    return pick;
}

// Back to the sphere after every preset; from the sphere on to the next
// preset in the order. In turn, after the last that is the sphere itself
// once more.
void choose_next_target() {
    if (target_index != 1) {
        target_index = 1;
    } else if (order == MorphOrder::one_preset) {
        target_index = order_preset;
    } else if (order == MorphOrder::random) {
        target_index = draw_preset();
    } else {
        cycle_index = (cycle_index + 1) % preset_count;
        target_index = cycle_index + 1;
    }
}

void apply_increment() { add_increment(current_shape, shape_table[0]); }

}  // namespace

namespace {

// Rounded once, from the exact double quotient, so the increment does not
// depend on how far the live shape has drifted.
float step_between(float from, float to, int32_t steps) {
    return static_cast<float>((static_cast<double>(to) - static_cast<double>(from)) /
                              static_cast<double>(steps));
}

}  // namespace

ShapeParams morph_increments(const ShapeParams& from, const ShapeParams& to, int32_t steps) {
    return {step_between(from.a, to.a, steps),   step_between(from.b, to.b, steps),
            step_between(from.m, to.m, steps),   step_between(from.n1, to.n1, steps),
            step_between(from.n2, to.n2, steps), step_between(from.n3, to.n3, steps)};
}

// Single-precision sums, and never snapped to the target: the small drift
// this leaves is part of the shape's path.
void add_increment(ShapeParams& shape, const ShapeParams& step) {
    shape.a += step.a;
    shape.b += step.b;
    shape.m += step.m;
    shape.n1 += step.n1;
    shape.n2 += step.n2;
    shape.n3 += step.n3;
}

void reset_morph() {
    order = MorphOrder::in_turn;
    order_preset = last_visited = 0;
    draw_state = 1;
    shape_table = ShapeTable{};
    current_shape = start_shape;
    morph_steps = 200;
    target_index = 6;
    source_index = 1;
    cycle_index = 0;
    period_frame = 0;
}

MorphState save_morph() {
    return {shape_table,  current_shape, morph_steps, target_index,
            source_index, cycle_index,   period_frame};
}

void restore_morph(const MorphState& state) {
    shape_table = state.table;
    current_shape = state.shape;
    morph_steps = state.steps;
    target_index = state.target;
    source_index = state.source;
    cycle_index = state.cycle;
    period_frame = state.period;
}

void fill_shape_table() {
    shape_table[1] = sphere_shape;
    shape_table[2] = {1.0f, 1.0f, 4.0f, 100.0f, 100.0f, 100.0f};
    shape_table[3] = {1.0f, 1.0f, 7.0f, 0.3f, 1.7f, 1.7f};
    shape_table[4] = {1.0f, 1.0f, 5.0f, 0.6f, 0.4f, 0.5f};
    shape_table[5] = {1.0f, 1.0f, 6.0f, 0.6f, 2.07f, 2.5f};
    // m is the generator's own full turn, one float step above 2 pi.
    shape_table[6] = {1.0f, 0.7f, 6.283186f, 0.716f, 3.3f, 5.05f};
    shape_table[7] = {0.2f, 0.1f, 8.0f, 18.16f, 2.3f, 10.05f};
    shape_table[8] = {1.0f, 1.0f, 13.0f, 0.16f, 2.3f, 0.05f};
    shape_table[9] = {1.0f, 1.0f, 4.0f, 0.46f, 5.3f, 0.305f};
    shape_table[10] = {1.0f, 1.0f, 13.0f, 0.46f, 0.3f, 5.305f};
    shape_table[11] = {1.0f, 1.0f, 6.0f, 1.26f, -1.0f, 1.738f};
}

void start_morph() {
    target_index = 6;
    source_index = 1;
    compute_increments();
    current_shape = shape_table[source_index];
    period_frame = 0;
    source_index = target_index;
}

void advance_morph() {
    if (period_frame == 2 * morph_steps) {
        period_frame = 0;
        choose_next_target();
        compute_increments();
        source_index = target_index;
    }
    if (period_frame < morph_steps) {
        apply_increment();
    }
    ++period_frame;
}

void morph_to_next_now() {
    choose_next_target();
    shape_table[0] = morph_increments(current_shape, shape_table[target_index], morph_steps);
    source_index = target_index;
    period_frame = 0;
}

void start_morph_in(MorphOrder order_chosen, int32_t preset, uint32_t seed) {
    start_morph();
    order = order_chosen;
    if (order == MorphOrder::in_turn) return;
    order_preset = preset;
    last_visited = 0;
    draw_state = seed != 0 ? seed : 1;
    // As if the sphere had just been reached.
    target_index = 1;
    morph_to_next_now();
}

}  // namespace solidmorph
