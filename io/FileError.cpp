#include "io/FileError.h"
