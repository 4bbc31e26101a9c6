#define IQ_ENCODING 0
#include "fuzz/iqfile.inc"
