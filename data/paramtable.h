#pragma once

// The catalogue of the 32 data columns. Column 0 is the sample time, columns
// 1..31 the measured quantities; the column number is the index used
// everywhere except in the live store (store index = column - 1).

constexpr int kColumnCount = 32;
constexpr int kValueCount = 31;

struct ParamEntry {
    // Exactly 5 characters, blank-padded; the padding is written to data files
    // unchanged, so callers simplify before comparing or displaying.
    const char *name;
    // 5 characters, blank-padded on the right; empty for column 0.
    const char *unit;
    // Decimals used in data files as a one-digit text; empty for column 0.
    const char *decimals;
};

extern const ParamEntry ParamTable[kColumnCount];

// Base-10 conversion of a column's decimals text (0 for column 0).
int columnDecimals(int column);
