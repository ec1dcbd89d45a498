#include "Startup.h"

int main(int argc, char** argv)
{
    return RunTovaline(argc, argv);
}
