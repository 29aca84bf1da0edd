#include "engine/BoxNumber.h"
