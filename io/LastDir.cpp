#include "io/LastDir.h"
