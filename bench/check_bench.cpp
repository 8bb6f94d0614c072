// How long the explorer's printable line says "checking": from handing the
// shape on screen to the check worker until its line can be taken, alone
// and when it supersedes a check already under way (the worst case while a
// slider is dragged), for a sound preset and for a shape that crosses itself;
// and for the preset at finer details, where the worker makes the grid.

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>
#include <vector>

#include "explore/solid_check_worker.h"
#include "export/export_surface.h"
#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "morph/surface_setup.h"

namespace {

using namespace solidmorph;

std::vector<Vec3> positions_of(const ShapeParams& shape) {
    generate_grid_surface(shape);
    return mesh.positions;
}

void check_latency(benchmark::State& state, ShapeParams shape, bool superseding,
                   int32_t detail = 64) {
    create_surface();
    const std::vector<TriangleCorners> triangles = triangle_corners();
    const std::vector<Vec3> wanted = positions_of(shape);
    const ShapeParams older_shape{1, 1, 3, 0.5f, 0.5f, 0.5f};
    const std::vector<Vec3> older = positions_of(older_shape);
    start_check_worker(wanted.size(), triangles);
    char line[256];
    for (auto _ : state) {
        if (superseding) {
            // Long enough for the worker to take it up: the newer shape
            // then waits for that check to end.
            request_check(older, {older_shape, older_shape}, detail, 80.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        request_check(wanted, {shape, shape}, detail, 80.0);
        while (!take_check_line(line, sizeof line)) {
        }
        benchmark::DoNotOptimize(line);
    }
    stop_check_worker();
}

BENCHMARK_CAPTURE(check_latency, preset4, ShapeParams{1, 1, 5, 0.6f, 0.4f, 0.5f}, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(check_latency, preset4_superseding, ShapeParams{1, 1, 5, 0.6f, 0.4f, 0.5f}, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(check_latency, crossing_superseding, ShapeParams{1, 1, 6, 1, 1, -2}, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(check_latency, preset4_detail256, ShapeParams{1, 1, 5, 0.6f, 0.4f, 0.5f}, false,
                  256)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(check_latency, preset4_detail1024, ShapeParams{1, 1, 5, 0.6f, 0.4f, 0.5f}, false,
                  1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace
