/* A program of someone else's, built against the installed corvhid: it finds
 * the first unit and prints its serial number. */
#include <corvhid.h>
#include <stdio.h>

int main(void) {
    short unit = -1;
    char serial[6] = {0}, text[132] = {0};
    int found = FindFirstCorvil(&unit) != 0;
    DoneFindingCorvils();
    if (found && ReadCorvilSerialNumberA(unit, serial)) {
        printf("unit %d serial %s\n", unit, serial);
    } else {
        GetCorvilErrStringA(text);
        printf("no unit: %s\n", text);
    }
    CleanupCorvil();
    return found ? 0 : 1;
}
