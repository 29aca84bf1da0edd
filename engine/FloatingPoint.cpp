#include "engine/FloatingPoint.h"
