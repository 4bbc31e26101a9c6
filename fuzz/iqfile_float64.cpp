#define IQ_ENCODING 2
#include "fuzz/iqfile.inc"
