#include "file_system.h"

namespace {
FileSystem* replacementFileSystem = nullptr;
}

FileSystem& fileSystem()
{
    return replacementFileSystem ? *replacementFileSystem : platformFileSystem();
}

std::optional<FileIdentity> IdentityOrNamed(File& file, const std::string& path)
{
    std::optional<FileIdentity> identity = file.identity();
    return identity ? identity : fileSystem().identityAt(path);
}

void setFileSystem(FileSystem* replacement)
{
    replacementFileSystem = replacement;
}
