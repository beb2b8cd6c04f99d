#include "data/paramtable.h"

const ParamEntry ParamTable[kColumnCount] = {
    {"TIME ", "", ""},
    {" UA  ", "V    ", "2"},
    {" UB  ", "V    ", "2"},
    {" UC  ", "V    ", "2"},
    {"Uavr ", "V    ", "2"},
    {" UAB ", "V    ", "2"},
    {" UBC ", "V    ", "2"},
    {" UCA ", "V    ", "2"},
    {"UVavr", "V    ", "2"},
    {" IA  ", "A    ", "2"},
    {" IB  ", "A    ", "2"},
    {" IC  ", "A    ", "2"},
    {"Iavr ", "A    ", "2"},
    {" TP  ", "W    ", "1"},
    {" TQ  ", "Var  ", "1"},
    {" TS  ", "VA   ", "1"},
    {"COS  ", "     ", "3"},
    {" FR  ", "Hz   ", "3"},
    {"ThdUa", "%    ", "2"},
    {"ThdUb", "%    ", "2"},
    {"ThdUc", "%    ", "2"},
    {"ThdIa", "%    ", "2"},
    {"ThdIb", "%    ", "2"},
    {"ThdIc", "%    ", "2"},
    {"KbfUa", "     ", "2"},
    {"KbfUb", "     ", "2"},
    {"KbfUc", "     ", "2"},
    {"KbfIa", "     ", "2"},
    {"KbfIb", "     ", "2"},
    {"KbfIc", "     ", "2"},
    {"UnbU ", "%    ", "2"},
    {"UnbI ", "%    ", "2"},
};

int columnDecimals(int column)
{
    if (column < 1 || column >= kColumnCount)
        return 0;
    return ParamTable[column].decimals[0] - '0';
}
