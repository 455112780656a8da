#pragma once

// The target of a run: AutoCAD (or AutoCAD LT) and IntelliCAD, each with its own program and parameters.
enum class CadKind
{
    Acad,
    Icad,
};
