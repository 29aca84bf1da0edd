#include "plot/Redraw.h"
