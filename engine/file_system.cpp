#include "file_system.h"

namespace {
FileSystem* replacementFileSystem = nullptr;
}

FileSystem& fileSystem()
{
    return replacementFileSystem ? *replacementFileSystem : platformFileSystem();
}

void setFileSystem(FileSystem* replacement)
{
    replacementFileSystem = replacement;
}
