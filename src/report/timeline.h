#pragma once

#include "report/account.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The timeline's drawing: where each drawing's block stands in its lane, and where drawings too short to tell
// apart at this width are gathered into bands.
namespace report {

struct Shape
{
    enum class Kind
    {
        Block, // one drawing: row
        Band,  // count drawings of one state side by side in a lane, from fromMs to toMs
    };
    Kind kind = Kind::Block;
    std::size_t lane = 0;
    supervise::State state = supervise::State::Done;
    double x = 0; // from the start of the account, in the width's units
    double width = 0;
    std::size_t row = 0; // a block's, in Account::rows
    std::size_t count = 1;
    std::int64_t fromMs = 0;
    std::int64_t toMs = 0;
};

// The shapes of every lane over width units for the account's whole time, lane by lane; within a lane done
// drawings first, so that what went wrong is drawn over them. A drawing narrower than a unit is its own block
// (a unit wide) only when no other such drawing of its lane touches its unit; those that do become bands, one
// per state and run of touching units.
std::vector<Shape> timelineShapes(const Account& account, double width);

} // namespace report
