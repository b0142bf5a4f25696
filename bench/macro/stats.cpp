// Order statistics and number formatting for the benchmark tables.
#include "stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    // Nearest rank: the smallest sample with at least p % at or below it.
    const double rank = std::ceil(p / 100.0 * static_cast<double>(samples.size()));
    const size_t index = static_cast<size_t>(std::max(rank, 1.0)) - 1;
    return samples[std::min(index, samples.size() - 1)];
}

double Median(const std::vector<double>& samples) {
    if (samples.empty()) return 0;
    std::vector<double> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    const size_t middle = sorted.size() / 2;
    return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

double Minimum(const std::vector<double>& samples) {
    return samples.empty() ? 0 : *std::min_element(samples.begin(), samples.end());
}

double Maximum(const std::vector<double>& samples) {
    return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string MedianAndRange(const std::vector<double>& samples, int decimals) {
    if (samples.size() == 1) return Fixed(samples[0], decimals);
    return Fixed(Median(samples), decimals) + " (" + Fixed(Minimum(samples), decimals) + "–" +
           Fixed(Maximum(samples), decimals) + ")";
}
