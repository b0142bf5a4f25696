// The markdown tables of bridge_bench, with the targets beside the figures.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "bursts.h"
#include "chunked.h"
#include "idle.h"
#include "latency.h"

struct BuildResults {
    std::string name;       // "native" or "Wine"
    LatencyResult latency;  // idle
    LatencyResult messagesLatency;
    LatencyResult directoryLatency;
    ChunkedResult chunked;
    IdleResult idle;
    std::vector<BurstResult> bursts;
};

void PrintLatencyTable(std::ostream& out, const std::vector<BuildResults>& builds);
void PrintChunkedTable(std::ostream& out, const std::vector<BuildResults>& builds);
void PrintBurstTables(std::ostream& out, const std::vector<BuildResults>& builds);
void PrintIdleTable(std::ostream& out, const std::vector<BuildResults>& builds);
