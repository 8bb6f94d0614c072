#include "morph/shape_tour.h"

#include <cstddef>

#include "morph/morph_scheduler.h"

namespace solidmorph {

ChosenShape tour_shape{sphere_shape, sphere_shape};

namespace {

constexpr int32_t to_sphere = -1;

std::vector<ChosenShape> stops;
ChosenShape step{};          // the increments of the morph under way
int32_t target = to_sphere;  // a stop, or to_sphere
int32_t last_stop = 0;       // the stop visited last, to go on from
int32_t period = 0;          // frames into the morph and its rest
bool random_order = false;
uint32_t draw_state = 1;  // xorshift32, never 0

uint32_t next_draw() {
    draw_state ^= draw_state << 13;
    draw_state ^= draw_state >> 17;
    draw_state ^= draw_state << 5;
    return draw_state;
}

const ChosenShape& target_shape() {
    static const ChosenShape sphere{sphere_shape, sphere_shape};
    return target == to_sphere ? sphere : stops[size_t(target)];
}

float step_between(float from, float to) {
    return static_cast<float>((static_cast<double>(to) - static_cast<double>(from)) /
                              static_cast<double>(morph_frames));
}

ShapeParams steps_between(const ShapeParams& from, const ShapeParams& to) {
    return {step_between(from.a, to.a),   step_between(from.b, to.b),
            step_between(from.m, to.m),   step_between(from.n1, to.n1),
            step_between(from.n2, to.n2), step_between(from.n3, to.n3)};
}

void aim_from(const ChosenShape& from) {
    const ChosenShape& to = target_shape();
    step = {steps_between(from.latitude, to.latitude), steps_between(from.longitude, to.longitude)};
    period = 0;
}

// Back to the sphere after every stop; from the sphere on to the next
// stop, in turn or drawn, never the one just visited while there are two.
void choose_next_target() {
    if (target != to_sphere) {
        last_stop = target;
        target = to_sphere;
        return;
    }
    const auto count = int32_t(stops.size());
    if (!random_order) {
        target = (last_stop + 1) % count;
    } else if (count == 1) {
        target = 0;
    } else {
        const int32_t pick = int32_t(next_draw() % uint32_t(count - 1));
        target = pick >= last_stop ? pick + 1 : pick;
    }
}

void add(ShapeParams& shape, const ShapeParams& increment) {
    shape.a += increment.a;
    shape.b += increment.b;
    shape.m += increment.m;
    shape.n1 += increment.n1;
    shape.n2 += increment.n2;
    shape.n3 += increment.n3;
}

}  // namespace

void start_tour(const std::vector<ChosenShape>& chosen, bool random, uint32_t seed) {
    stops = chosen;
    random_order = random;
    draw_state = seed != 0 ? seed : 1;
    tour_shape = {sphere_shape, sphere_shape};
    const auto count = uint32_t(stops.size());
    target = random ? int32_t(next_draw() % count) : 0;
    last_stop = target;
    aim_from(tour_shape);
}

void advance_tour() {
    if (period == 2 * morph_frames) {
        // From the stop reached, exactly as kept, not from the drifted shape.
        const ChosenShape reached = target_shape();
        choose_next_target();
        aim_from(reached);
    }
    if (period < morph_frames) {
        add(tour_shape.latitude, step.latitude);
        add(tour_shape.longitude, step.longitude);
    }
    ++period;
}

void tour_to_next_now() {
    choose_next_target();
    aim_from(tour_shape);
}

int32_t tour_target() { return target; }

}  // namespace solidmorph
