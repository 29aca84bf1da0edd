#include "engine/FftwPlanner.h"

namespace ravelle {

std::mutex& fftwPlannerMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace ravelle
