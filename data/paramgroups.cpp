#include "data/paramgroups.h"

// In catalogue order: together the groups cover columns 1..31 once each.
const ParamGroup ParamGroups[kParamGroupCount] = {
    {"电压", 1, 8},
    {"电流", 9, 12},
    {"功率", 13, 15},
    // About 0.9 and about 50: together, both lie flat.
    {"功率因数", 16, 16},
    {"频率", 17, 17},
    {"谐波畸变率", 18, 23},
    {"波形系数", 24, 29},
    {"不平衡度", 30, 31},
};

bool groupHasColumn(const ParamGroup &group, int column)
{
    return column >= group.firstColumn && column <= group.lastColumn;
}
