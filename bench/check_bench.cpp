// How long the explorer's printable line says "checking": from handing the
// shape on screen to the check worker until its line can be taken, alone
// and when it supersedes a check already under way (the worst case while a
// slider is dragged), for a sound preset and for a shape that crosses itself.

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

void check_latency(benchmark::State& state, ShapeParams shape, bool superseding) {
    create_surface();
    const std::vector<TriangleCorners> triangles = triangle_corners();
    const std::vector<Vec3> wanted = positions_of(shape);
    const std::vector<Vec3> older = positions_of({1, 1, 3, 0.5f, 0.5f, 0.5f});
    start_check_worker(wanted.size(), triangles);
    char line[256];
    for (auto _ : state) {
        if (superseding) {
            // Long enough for the worker to take it up: the newer shape
            // then waits for that check to end.
            request_check(older, 80.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        request_check(wanted, 80.0);
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

}  // namespace
