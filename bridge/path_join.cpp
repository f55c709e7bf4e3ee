#include "path_join.h"

#include <stdlib.h>
#include <string.h>

char* JoinPath(const char* folder, const char* name)
{
    const size_t folderLength = strlen(folder);
    const size_t nameLength = strlen(name);
    char* path = static_cast<char*>(malloc(folderLength + nameLength + 1));
    if (path != nullptr) {
        memcpy(path, folder, folderLength);
        memcpy(path + folderLength, name, nameLength + 1);
    }
    return path;
}
