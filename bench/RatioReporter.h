#pragma once
// The console output as usual, then each path against its floor. With
// repetitions the medians are compared.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace HeraldBench {

class RatioReporter final : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(bool color) : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    bool Measured(const std::string& name) const { return last_.count(name) != 0 || medians_.count(name) != 0; }

    double Time(const std::string& name) const {
        const auto median = medians_.find(name);
        return median != medians_.end() ? median->second : last_.at(name);
    }

    std::vector<std::string> order_;
    std::map<std::string, double> last_;
    std::map<std::string, double> medians_;
};

}  // namespace HeraldBench
