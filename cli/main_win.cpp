#include <string>
#include <vector>

#include "platform/text.h"
#include "vandrel_command.h"

// Windows hands over the arguments as UTF-16 (built with -municode), so that
// a path in any script survives; the engine takes UTF-8.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(ToNarrowPath(argv[i]));
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return RunVandrel(argc, pointers.data());
}
