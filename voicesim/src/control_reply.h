// Helpers shared by the control command handlers: reading arguments and
// forming the one-line replies ("OK" plus fields, or "ERR" and a reason).
#pragma once

#include <string>
#include <vector>

#include "wireline.h"

using ControlFields = std::vector<std::string>;

inline ControlFields Ok() { return {"OK"}; }
inline ControlFields Err(const std::string& reason) { return {"ERR", reason}; }
// Turns a change's refusal text ("" = done) into a reply.
inline ControlFields OkUnless(const std::string& refusal) {
    return refusal.empty() ? Ok() : Err(refusal);
}

// The arguments after the command words. A bad number leaves a problem
// behind; the handler checks it before changing anything.
struct ControlArgs {
    const ControlFields& values;
    std::string problem;

    bool Has(size_t index) const { return index < values.size(); }
    const std::string& Text(size_t index) const { return values[index]; }
    std::string TextOr(size_t index, const std::string& fallback) const {
        return Has(index) ? values[index] : fallback;
    }
    int Number(size_t index) {
        int value = 0;
        if (!ReadNumber(values[index], value) && problem.empty())
            problem = "not a number: " + values[index];
        return value;
    }
    int NumberOr(size_t index, int fallback) { return Has(index) ? Number(index) : fallback; }
    bool Flag(size_t index) {
        bool value = false;
        if (!ReadFlag(values[index], value) && problem.empty())
            problem = "expected 0 or 1, not " + values[index];
        return value;
    }
};
