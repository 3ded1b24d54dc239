// Program entry of the installer.
#include <cstdio>

int main(int argc, char **argv)
{
    (void)argc;
    (void)argv;
    std::fputs("setup: the installer is not complete in this build\n", stderr);
    return 1;
}
