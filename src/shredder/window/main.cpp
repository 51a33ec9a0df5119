#include "shredder/window/filefs_program.h"

int main(int argc, char *argv[])
{
    return runFilefs(argc, argv);
}
