#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// Drawing marks: script lines that let a script report its own progress. The CAD programs evaluate a script
// line that begins with "(" as an AutoLISP expression; a mark line appends "begin <index>" or "end <index>"
// to a marks file, so whoever watches the file knows which drawing the CAD program is in.
//
// The one form a mark takes (the stand-in CAD programs of the tests carry out exactly this form):
//   (progn ((lambda (f) (if f (progn (write-line "begin 12" f) (close f)))) (open "C:/runs/a.marks" "a")) (princ))
// Nothing outlives its line (each drawing is a document of its own, with variables of its own), and (princ)
// keeps the command line quiet.
namespace script {

enum class MarkKind
{
    Begin,
    End,
};

std::string_view markWord(MarkKind kind); // "begin", "end"

// The path as an AutoLISP string's contents: separators written as '/', '"' and a backslash that is part of a
// name escaped. Nothing (an empty
// string) when it cannot stand in a script line at all: it holds a control character.
std::string markPathText(std::string_view marksPath);
// Whether marks can be written to this file (see markPathText).
bool markablePath(std::string_view marksPath);

// The script line, without its line end, for an already converted path (markPathText).
std::string markLine(std::string_view pathText, MarkKind kind, std::size_t index);

// Where the marks of one script go: the file, and the number each drawing of the script is marked with (its
// index in the run's list), in the order of the script's drawings.
struct DrawingMarks
{
    std::string pathText; // markPathText of the marks file
    std::span<const std::size_t> indices;
};

} // namespace script
