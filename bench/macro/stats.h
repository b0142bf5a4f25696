// Order statistics and number formatting for the benchmark tables.
#pragma once

#include <string>
#include <vector>

// Nearest-rank percentile (0 < p <= 100) of the samples; 0 when empty.
double Percentile(std::vector<double> samples, double p);
double Median(const std::vector<double>& samples);
double Minimum(const std::vector<double>& samples);
double Maximum(const std::vector<double>& samples);

// "12.3" with the given number of decimals.
std::string Fixed(double value, int decimals = 1);

// "median (min-max)", or the one value when there is one sample.
std::string MedianAndRange(const std::vector<double>& samples, int decimals = 1);
