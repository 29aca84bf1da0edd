#include "engine/Synthesis.h"
