// Runs one discovery through corvhid.dll and compares the last-error text
// with the one expected (argument 1); the discovery's next step then finds
// nothing (it must not walk a list it could not bind for). Run beside a
// stand-in service DLL.
#include <cstdio>
#include <cstring>

#include "corvhid.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: binding_probe EXPECTED-TEXT\n");
        return 2;
    }
    short unit = -7;
    const short found = FindFirstCorvil(&unit);
    char text[132] = {};
    GetCorvilErrStringA(text);
    const short next = FindNextCorvil(&unit);
    char nextText[132] = {};
    GetCorvilErrStringA(nextText);
    DoneFindingCorvils();
    CleanupCorvil();
    char after[132] = {'x'};
    GetCorvilErrStringA(after);
    if (found != 0 || unit != -7 || std::strcmp(text, argv[1]) != 0 || after[0] != '\0') {
        std::fprintf(stderr, "FindFirstCorvil gave %d, unit %d, \"%s\"; expected 0, -7, \"%s\"\n", found, unit, text,
                     argv[1]);
        return 1;
    }
    if (next != 0 || std::strcmp(nextText, "Corvil not detected!") != 0) {
        std::fprintf(stderr, "FindNextCorvil gave %d, \"%s\"\n", next, nextText);
        return 1;
    }
    std::printf("ok: \"%s\"\n", text);
    return 0;
}
