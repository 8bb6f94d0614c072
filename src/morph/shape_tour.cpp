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

void aim_from(const ChosenShape& from) {
    const ChosenShape& to = target_shape();
    step = {morph_increments(from.latitude, to.latitude, morph_frames),
            morph_increments(from.longitude, to.longitude, morph_frames)};
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
        add_increment(tour_shape.latitude, step.latitude);
        add_increment(tour_shape.longitude, step.longitude);
    }
    ++period;
}

void tour_to_next_now() {
    choose_next_target();
    aim_from(tour_shape);
}

int32_t tour_target() { return target; }

}  // namespace solidmorph
