#pragma once

#include "script/expandtemplate.h"
#include "script/scriptcheck.h"
#include "script/scripttemplate.h"

#include <string>
#include <vector>

// A script built as a run builds it: what went into it, as the check needs it, and its exact bytes.
struct BuiltScript
{
    std::string templatePath;
    script::ScriptTemplate scriptTemplate;
    std::string listingFolder;
    std::vector<std::string> names;
    std::string projectName;
    // What %date and %time stood for, when the clock was read once for the whole script.
    std::string date;
    std::string time;
    char separator = '/';
    script::Script script;

    // Refers to this object: valid while it lives unchanged.
    script::CheckInput checkInput() const
    {
        return {&scriptTemplate, listingFolder, names, projectName, date, time, separator};
    }
};
