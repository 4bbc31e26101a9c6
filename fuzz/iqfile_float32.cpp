#define IQ_ENCODING 1
#include "fuzz/iqfile.inc"
