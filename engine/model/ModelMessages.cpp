#include "engine/model/ModelMessages.h"

#include <cstdio>

namespace ravelle::model::messages {

std::string speciesProblem(int species, std::string_view what)
{
    return "Species " + std::to_string(species) + ": " + std::string(what);
}

std::string groupProblem(int species, int group, std::string_view what)
{
    return "Species " + std::to_string(species) + ", group " + std::to_string(group) + ": " + std::string(what);
}

std::string widthNotPositive(std::string_view width, double m)
{
    // m is a whole or half number, well within the digits printed.
    char text[32];
    std::snprintf(text, sizeof text, "%g", m);
    for (char* c = text; *c != '\0'; ++c)
        if (*c == ',')
            *c = '.'; // never the locale's separator
    return std::string(width) + " falls to 0 or below at m = " + text + ".";
}

} // namespace ravelle::model::messages
