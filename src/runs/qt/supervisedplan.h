#pragma once

#include <cstddef>
#include <string>

// A supervised run about to begin, fixed before it does, so that a review shows the scripts it will write.
struct SupervisedPlan
{
    std::string journalPath; // empty: the run takes a new one of its own
    bool marks = false;      // the scripts carry drawing marks
    // With marks: the marks file of the first session as its mark lines name it (script::markPathText).
    std::string marksPathText;
    std::size_t sessions = 1; // CAD sessions at once; each after the first marks to a file of its own
};
