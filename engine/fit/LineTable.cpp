#include "engine/fit/LineTable.h"

#include <algorithm>

namespace ravelle::fit {

Pattern patternOf(int twiceSpin, int n)
{
    const std::vector<double> single(static_cast<std::size_t>(twiceSpin) + 1, 1.0);
    std::vector<double> weight{1};
    for (int k = 0; k < n; ++k) {
        std::vector<double> next(weight.size() + single.size() - 1, 0.0);
        for (std::size_t i = 0; i < weight.size(); ++i)
            for (std::size_t j = 0; j < single.size(); ++j)
                next[i + j] += weight[i] * single[j];
        weight = std::move(next);
    }
    Pattern pattern;
    pattern.weight = weight;
    const double half = (static_cast<double>(weight.size()) - 1) / 2;
    for (std::size_t i = 0; i < weight.size(); ++i)
        pattern.coefficient.push_back(static_cast<double>(i) - half);
    return pattern;
}

std::vector<std::pair<double, double>> fixedLines(const std::vector<FixedGroup>& fixed, double shift, double weight,
                                                  std::size_t most)
{
    std::vector<std::pair<double, double>> lines{{shift, weight}};
    for (const FixedGroup& group : fixed) {
        const Pattern pattern = patternOf(group.twiceSpin, group.count);
        std::vector<std::pair<double, double>> next;
        for (const auto& [position, w] : lines)
            for (std::size_t k = 0; k < pattern.weight.size(); ++k)
                next.emplace_back(position + pattern.coefficient[k] * group.coupling, w * pattern.weight[k]);
        std::sort(next.begin(), next.end());
        lines.clear();
        for (const auto& line : next) {
            if (!lines.empty() && lines.back().first == line.first)
                lines.back().second += line.second;
            else
                lines.push_back(line);
        }
        if (lines.size() > most)
            break;
    }
    return lines;
}

double lineCount(const std::vector<std::pair<double, double>>& base, const std::vector<Pattern>& patterns)
{
    double count = static_cast<double>(base.size());
    for (const auto& pattern : patterns)
        count *= static_cast<double>(pattern.weight.size());
    return count;
}

LineTable buildLineTable(const std::vector<std::pair<double, double>>& base, const std::vector<Pattern>& patterns)
{
    LineTable table;
    table.sets = patterns.size();
    const auto total = static_cast<std::size_t>(lineCount(base, patterns));
    table.base.reserve(total);
    table.weight.reserve(total);
    table.coefficient.reserve(total * table.sets);
    std::vector<std::size_t> digit(patterns.size(), 0);
    for (const auto& [position, weight] : base) {
        std::fill(digit.begin(), digit.end(), 0);
        while (true) {
            double w = weight;
            for (std::size_t g = 0; g < patterns.size(); ++g) {
                w *= patterns[g].weight[digit[g]];
                table.coefficient.push_back(patterns[g].coefficient[digit[g]]);
            }
            table.base.push_back(position);
            table.weight.push_back(w);
            std::size_t g = 0;
            while (g < patterns.size() && ++digit[g] == patterns[g].weight.size())
                digit[g++] = 0;
            if (g == patterns.size())
                break;
        }
    }
    return table;
}

} // namespace ravelle::fit
