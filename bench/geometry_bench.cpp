// Cost of the per-frame surface generation against a plain loop of the math
// calls it cannot avoid, measured in the same run, and of the one-off
// triangle list build. After the usual table it prints, per shape, the
// ratio generation / plain loop (median over repetitions when repeated).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"

namespace {

using solidmorph::ShapeParams;

struct Shape {
    const char* name;
    ShapeParams params;
};

// The start shape and the presets whose big exponents push pow hardest.
const Shape shapes[] = {
    {"start", {1, 1, 8, 0.173275f, 31.5035f, -0.58f}},
    {"preset2", {1, 1, 4, 100, 100, 100}},
    {"preset7", {0.2f, 0.1f, 8, 18.16f, 2.3f, 10.05f}},
};

void generate(benchmark::State& state, const ShapeParams& s) {
    using namespace solidmorph;
    create_mesh();
    for (auto _ : state) {
        generate_grid_surface(s);
        benchmark::ClobberMemory();
    }
}

// The cos, sin and three pow of one radius, with the generator's own
// arguments so that the math library takes the same paths.
void radius_calls(double angle, const ShapeParams& s, double outer) {
    const double t = angle * double(s.m) / 4.0;
    const double c = std::pow(std::fabs(std::cos(t) / double(s.a)), double(s.n2));
    const double d = std::pow(std::fabs(std::sin(t) / double(s.b)), double(s.n3));
    double r = std::pow(double(float(d)) + double(float(c)), outer);
    benchmark::DoNotOptimize(r);
}

// Only the calls one generation must make: per row a radius plus cos and sin
// of the latitude; per vertex a radius plus cos and sin of the longitude.
// That is 12,672 pow, 8,448 cos and 8,448 sin, on the same angle sequences.
void math_calls(benchmark::State& state, const ShapeParams& s) {
    const double outer = -1.0 / double(s.n1);
    using solidmorph::grid_lon_steps;
    using solidmorph::grid_rows;
    const float lat_step = float(3.141593 / double(grid_rows));
    const float lon_step = float(6.283186 / double(grid_lon_steps));
    for (auto _ : state) {
        float phi = float(-1.5707965);
        for (int i = 0; i < grid_rows; ++i) {
            radius_calls(phi, s, outer);
            phi = float(double(phi) + double(lat_step));
            double cp = std::cos(double(phi)), sp = std::sin(double(phi));
            benchmark::DoNotOptimize(cp);
            benchmark::DoNotOptimize(sp);
            float theta = float(-3.141593);
            for (int j = 0; j <= grid_lon_steps; ++j) {
                radius_calls(theta, s, outer);
                double ct = std::cos(double(theta)), st = std::sin(double(theta));
                benchmark::DoNotOptimize(ct);
                benchmark::DoNotOptimize(st);
                theta = float(double(theta) + double(lon_step));
            }
        }
    }
}

void build_list(benchmark::State& state) {
    solidmorph::TriangleList list;
    for (auto _ : state) {
        solidmorph::build_triangle_list(list, solidmorph::grid_rows, solidmorph::grid_lon_steps);
        benchmark::DoNotOptimize(list.data());
    }
}

// Keeps every run's CPU time, which other processes on a shared machine
// disturb less than wall time, so the ratios can be taken afterwards: the
// median aggregate when repetitions report one, else the median of the runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const double ns =
                r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit) * 1e9;
            if (r.run_type == Run::RT_Iteration) times_[r.run_name.str()].push_back(ns);
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medians_[r.run_name.str()] = ns;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double median(const std::string& name) {
        if (medians_.count(name)) return medians_[name];
        std::vector<double> v = times_[name];
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }

private:
    std::map<std::string, std::vector<double>> times_;
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const Shape& s : shapes) {
        benchmark::RegisterBenchmark((std::string("generate/") + s.name).c_str(), generate,
                                     s.params)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("math_calls/") + s.name).c_str(), math_calls,
                                     s.params)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("build_triangle_list", build_list)->Unit(benchmark::kMicrosecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nCPU time per call, median\n%-10s %14s %14s %8s\n", "shape", "generate us",
                "math calls us", "ratio");
    for (const Shape& s : shapes) {
        const double g = reporter.median(std::string("generate/") + s.name);
        const double m = reporter.median(std::string("math_calls/") + s.name);
        if (g > 0 && m > 0)
            std::printf("%-10s %14.1f %14.1f %8.3f\n", s.name, g / 1e3, m / 1e3, g / m);
    }
    benchmark::Shutdown();
    return 0;
}
