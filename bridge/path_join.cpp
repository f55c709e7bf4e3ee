#include "path_join.h"

std::string JoinPath(const char* folder, const char* name)
{
    return std::string(folder) + name;
}
