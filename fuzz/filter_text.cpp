#define FILTER_TEXT 1
#include "fuzz/filter.inc"
