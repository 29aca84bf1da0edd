#pragma once

#include <mutex>

namespace ravelle {

// FFTW's planner is not thread safe, and every plan the program makes, by the
// synthesis or by the model engine, goes through the one planner: both take
// this lock while they plan. Executing a plan on new arrays needs no lock.
std::mutex& fftwPlannerMutex();

} // namespace ravelle
