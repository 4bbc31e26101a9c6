#define FILTER_TEXT 0
#include "fuzz/filter.inc"
