#include "explore/solid_check_worker.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "export/export_job.h"
#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"

namespace solidmorph {

namespace {

// Shared between the frame and the worker, only under the lock.
struct Mailbox {
    std::mutex lock;
    std::condition_variable wake;
    std::vector<Vec3> positions;  // sized once
    ChosenShape sets{};           // what a grid finer or coarser than the drawn one is made of
    int32_t detail = program_detail;
    double size = 0.0;
    double flat_base = 0.0;
    bool flat_base_percent = false;
    uint64_t asked = 0;     // number of the newest request
    uint64_t taken = 0;     // the newest the worker has copied
    uint64_t answered = 0;  // the request `line` answers
    char line[256] = "";
    bool stopping = false;
};
Mailbox mailbox;
std::thread worker;

// The worker's own copies, and a grid of another detail with its triangle
// list (built again only when the detail changes).
std::vector<Vec3> checked_positions;
std::vector<TriangleCorners> checked_triangles;
ExportSurface detailed;

// The surface an export at `detail` would write, for any detail but the
// drawn grid's, made on this thread: the generator's positions-only path
// touches nothing the frame reads.
const ExportSurface& detailed_surface(const ChosenShape& sets, int32_t detail) {
    if (detailed.rows != detail) {
        TriangleList list;
        build_triangle_list(list, detail, detail);
        detailed.triangles = corners_of(list);
        detailed.rows = detail;
        detailed.columns = detail + 1;
    }
    grid_positions(detailed.positions, detail, sets.latitude, sets.longitude);
    return detailed;
}

void format_line(const SolidReport& report, double size, char* line, size_t capacity) {
    if (!report.sound) {
        std::snprintf(line, capacity, "%s", report.reason.c_str());
        return;
    }
    const double w = double(report.high.x) - report.low.x;
    const double d = double(report.high.y) - report.low.y;
    const double h = double(report.high.z) - report.low.z;
    if (size > 0.0) {
        std::snprintf(line, capacity, "sound solid: %.1f x %.1f x %.1f mm, %.2f cm3", w, d, h,
                      report.volume / 1000.0);
    } else {
        std::snprintf(line, capacity, "sound solid: %.3g x %.3g x %.3g units, volume %.6g", w, d, h,
                      report.volume);
    }
}

void run_worker() {
    SolidReport report;
    char line[sizeof mailbox.line];
    for (;;) {
        double size = 0.0, flat_base = 0.0;
        bool percent = false;
        uint64_t number = 0;
        ChosenShape sets{};
        int32_t detail = program_detail;
        {
            std::unique_lock<std::mutex> hold(mailbox.lock);
            mailbox.wake.wait(hold,
                              [] { return mailbox.stopping || mailbox.asked != mailbox.taken; });
            if (mailbox.stopping) return;
            std::copy(mailbox.positions.begin(), mailbox.positions.end(),
                      checked_positions.begin());
            sets = mailbox.sets;
            detail = mailbox.detail;
            size = mailbox.size;
            flat_base = mailbox.flat_base;
            percent = mailbox.flat_base_percent;
            number = mailbox.taken = mailbox.asked;
        }
        if (detail == program_detail) {
            check_solid(checked_positions, checked_triangles, size, report, flat_base, percent);
        } else {
            check_solid(detailed_surface(sets, detail), size, report, flat_base, percent);
        }
        format_line(report, size, line, sizeof line);
        const std::lock_guard<std::mutex> hold(mailbox.lock);
        mailbox.answered = number;
        std::memcpy(mailbox.line, line, sizeof line);
    }
}

}  // namespace

void start_check_worker(size_t vertex_count, const std::vector<TriangleCorners>& triangles) {
    mailbox.stopping = false;
    mailbox.asked = mailbox.taken = mailbox.answered = 0;
    mailbox.positions.assign(vertex_count, Vec3{});
    checked_positions.assign(vertex_count, Vec3{});
    checked_triangles = triangles;
    worker = std::thread(run_worker);
}

void request_check(const std::vector<Vec3>& positions, const ChosenShape& sets, int32_t detail,
                   double size, double flat_base, bool flat_base_percent) {
    {
        const std::lock_guard<std::mutex> hold(mailbox.lock);
        mailbox.sets = sets;
        mailbox.detail = detail;
        const size_t count = std::min(positions.size(), mailbox.positions.size());
        std::copy(positions.begin(), positions.begin() + std::ptrdiff_t(count),
                  mailbox.positions.begin());
        mailbox.size = size;
        mailbox.flat_base = flat_base;
        mailbox.flat_base_percent = flat_base_percent;
        ++mailbox.asked;
    }
    mailbox.wake.notify_one();
}

bool take_check_line(char* line, size_t capacity) {
    const std::lock_guard<std::mutex> hold(mailbox.lock);
    if (mailbox.answered != mailbox.asked || capacity == 0) return false;
    std::snprintf(line, capacity, "%s", mailbox.line);
    return true;
}

void stop_check_worker() {
    if (!worker.joinable()) return;
    {
        const std::lock_guard<std::mutex> hold(mailbox.lock);
        mailbox.stopping = true;
    }
    mailbox.wake.notify_one();
    worker.join();
}

}  // namespace solidmorph
