// The markdown tables of bridge_bench, with the targets beside the figures.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "bursts.h"
#include "chunked.h"
#include "cost.h"
#include "latency.h"

struct BuildResults {
    std::string name;           // "native" or "Wine"
    LatencyResult latency;      // ptt_on/ptt_off, idle
    LatencyResult joinLatency;  // joinid, idle
    LatencyResult messagesLatency;
    LatencyResult directoryLatency;
    ChunkedResult chunked;
    CostResult idle;
    CostResult messagesCost;  // during 25 private messages a second
    std::vector<BurstResult> bursts;
};

void PrintLatencyTable(std::ostream& out, const std::vector<BuildResults>& builds);
void PrintChunkedTable(std::ostream& out, const std::vector<BuildResults>& builds);
void PrintBurstTables(std::ostream& out, const std::vector<BuildResults>& builds);
void PrintCostTable(std::ostream& out, const std::vector<BuildResults>& builds);
