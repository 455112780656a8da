#pragma once

#include <cstddef>
#include <string>

namespace script {
struct RunRequest;
}

// A supervised run about to begin, fixed before it does, so that a review shows the scripts it will write.
struct SupervisedPlan
{
    std::string journalPath; // empty: the run takes a new one of its own
    bool marks = false;      // the scripts carry drawing marks
    // With marks: the marks file of the first session as its mark lines name it (script::markPathText).
    std::string marksPathText;
    std::size_t sessions = 1; // CAD sessions at once; each after the first marks to a file of its own
    // The scripts each session runs before its first drawing and after its last (empty: none).
    std::string sessionStart;
    std::string sessionEnd;
};

// Where the window's runs go when they are supervised; the supervisor is one.
class SupervisedRuns
{
public:
    virtual ~SupervisedRuns() = default;
    // Whether runs are supervised now ("Övervakad körning").
    virtual bool enabled() const = 0;
    // How a run of the request would write its scripts if it began now.
    virtual SupervisedPlan plan(const script::RunRequest& request) const = 0;
    // Begins a run of a checked request (script::checkRequest); a plan without a journal path lets the run take
    // a journal of its own. Problems are shown to the user.
    virtual void start(script::RunRequest request, const SupervisedPlan& plan) = 0;
};
