#include "plot/PlotWindow.h"
