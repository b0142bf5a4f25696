// The groups of micro-benchmarks, registered from main so that the sizes
// can follow --short.
#pragma once

void RegisterTextBenchmarks();
void RegisterStateFileBenchmarks();
// `shortRun` keeps the bursts small enough to finish in a moment.
void RegisterDirectoryPublishBenchmarks(bool shortRun);
