// Runs one discovery through corvhid.dll and compares the last-error text
// with the one expected (argument 1); the discovery's next step then finds
// nothing (it must not walk a list it could not bind for), and the clean-up
// clears the text. Run beside a stand-in service DLL.
#include <cstdio>
#include <string>

#include "corvhid.h"

std::string text() {
    char text[132] = {'x'};
    GetCorvilErrStringA(text);
    return text;
}

int main(int argc, char **argv) {
    short unit = -7;
    const short found = FindFirstCorvil(&unit);
    std::string got = std::to_string(found) + " " + std::to_string(unit) + " " + text();
    const short next = FindNextCorvil(&unit);
    got += " / " + std::to_string(next) + " " + text();
    DoneFindingCorvils();
    CleanupCorvil();
    got += " / " + text();
    const std::string expected = std::string("0 -7 ") + (argc == 2 ? argv[1] : "?") + " / 0 Corvil not detected! / ";
    if (got != expected) {
        std::fprintf(stderr, "got      \"%s\"\nexpected \"%s\"\n", got.c_str(), expected.c_str());
        return 1;
    }
    std::printf("ok: \"%s\"\n", got.c_str());
    return 0;
}
