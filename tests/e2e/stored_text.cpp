// stored_text PATH TABLE COLUMN ROWID: prints a text of an account database as the file holds it, its UTF-16le bytes
// in hex, read through the program's own engine. For the end-to-end suite, where the system's sqlcipher shell reads
// a long text that starts with U+FEFF without it.

#include "AccountDatabase.h"
#include "Engine.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: stored_text PATH TABLE COLUMN ROWID\n");
        return 2;
    }
    try {
        const std::u16string text =
            OpenAccountDatabase(argv[1])->connection()->StoredText(argv[2], argv[3], std::stoll(argv[4]));
        for (const char16_t unit : text)
            std::printf("%02X%02X", unit & 0xFF, unit >> 8);
        std::printf("\n");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "stored_text: %s\n", error.what());
        return 1;
    }
    return 0;
}
