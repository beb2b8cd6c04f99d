#pragma once

// The measured quantities by kind, as the trend windows offer them for
// showing one kind alone: the voltages, currents or powers lie on scales
// of their own, and a kind shown with the others is flat on the axis.

struct ParamGroup {
    const char *name; // UTF-8
    // Catalogue columns firstColumn..lastColumn, both included.
    int firstColumn;
    int lastColumn;
};

constexpr int kParamGroupCount = 8;
extern const ParamGroup ParamGroups[kParamGroupCount];

bool groupHasColumn(const ParamGroup &group, int column);
