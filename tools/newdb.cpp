// tarnwick-newdb PATH: creates an empty account database at PATH, never over an existing file.

#include "AccountDatabase.h"
#include "StoreError.h"
#include "Text.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarnwick-newdb PATH\n");
        return 2;
    }
    try {
        CreateAccountDatabase(argv[1]);
    } catch (const StoreError &error) {
        std::fprintf(stderr, "tarnwick-newdb: %s\n", ToUtf8(error.Description()).c_str());
        return 1;
    }
    return 0;
}
