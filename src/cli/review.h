#pragma once

namespace script {
struct RunRequest;
}

namespace cli {

// Exit statuses of a review.
inline constexpr int reviewClean = 0;
inline constexpr int reviewErrors = 1;
inline constexpr int reviewWarnings = 3;

// Writes what the review of the request's script finds to standard output, one finding a line
// (LEVEL:LINE:CODE:DRAWING: text), and gives reviewClean, reviewWarnings when there are only warnings, or
// reviewErrors. The lines are those of the script with the request's session scripts and, with marked, with
// drawing marks: each drawing's lines have a mark line before and after them.
int printFindings(const script::RunRequest& request, bool marked);

} // namespace cli
