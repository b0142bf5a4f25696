// Event bursts: voicesim logs in N bots and creates N/4 channels at once
// while the bridge is logged in; the game waits for users.txt and
// channels.txt to be complete.
#pragma once

#include <random>
#include <string>

#include "bench_session.h"

struct BurstResult {
    int users = 0;     // bots logged in (N)
    int channels = 0;  // channels created (M = N/4)
    bool complete = false;
    double replyMs = 0;          // both bulk commands answered by voicesim
    double usersMs = 0;          // users.txt holds every bot
    double channelsMs = 0;       // channels.txt holds every channel
    double completeMs = 0;       // both complete, from the first bulk command
    double commandWaitMs = 0;    // a command written when the burst starts, until taken
    long long writtenBytes = 0;  // what the bridge wrote during the burst
    long long writeCalls = 0;    // in how many write calls
    size_t eventLines = 0;       // lines events.txt gained
    size_t eventBytes = 0;       // bytes events.txt gained
    long hwmKb = 0;              // its resident peak after it
};

// Runs one burst against a logged-in session with nothing but the bridge
// itself and the root channel in its directories. `firstId` must be unused
// as a user and a channel ID.
BurstResult MeasureBurst(BenchSession& session, int users, int firstId, std::mt19937& random,
                         std::string& error);
