#include "vandrel_command.h"

int main(int argc, char** argv)
{
    return RunVandrel(argc, argv);
}
