#include "RatioReporter.h"

#include <cstdio>
#include <ostream>

#include "Benchmarks.h"

namespace HeraldBench {

namespace {

double Nanoseconds(const benchmark::BenchmarkReporter::Run& run) {
    const double time = run.GetAdjustedCPUTime();
    switch (run.time_unit) {
        case benchmark::kSecond:
            return time * 1e9;
        case benchmark::kMillisecond:
            return time * 1e6;
        case benchmark::kMicrosecond:
            return time * 1e3;
        case benchmark::kNanosecond:
            return time;
    }
    return time;
}

}  // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred) {
            continue;
        }
        const std::string name = run.run_name.str();
        if (order_.empty() || order_.back() != name) {
            order_.push_back(name);
        }
        if (run.run_type == Run::RT_Iteration) {
            last_[name] = Nanoseconds(run);
        } else if (run.aggregate_name == "median") {
            medians_[name] = Nanoseconds(run);
        }
    }
}

void RatioReporter::Finalize() {
    std::ostream& out = GetOutputStream();
    out << "\n| path | ns/op | floor ns/op | ratio |\n|---|---:|---:|---:|\n";
    for (const std::string& name : order_) {
        if (name.rfind(FloorPrefix, 0) == 0 || name.rfind("block:", 0) == 0) {
            continue;
        }
        const std::string floor = FloorPrefix + name;
        if (!Measured(name) || !Measured(floor)) {
            continue;
        }
        const double path = Time(name);
        const double floorTime = Time(floor);
        char line[160];
        std::snprintf(line, sizeof line, "| %s | %.0f | %.0f | %.2f |\n", name.c_str(), path, floorTime,
                      path / floorTime);
        out << line;
    }
    out.flush();
}

}  // namespace HeraldBench
