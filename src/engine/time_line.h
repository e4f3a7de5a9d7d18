// time_line: the flow items of a run: those whose start time has come
// (active) and those still waiting (pending), both by value in contiguous
// storage. Destroys the pending items before the active ones.
#pragma once

#include "effects/time_line_item.h"

#include <vector>

class time_line {
public:
    time_line() = default;
    time_line(const time_line&) = default;
    time_line& operator=(const time_line&) = default;
    ~time_line();

    std::vector<time_line_item> active;  // items that became active, in that order; only the first is drawn
    std::vector<time_line_item> pending; // items not yet active, in description order
};
