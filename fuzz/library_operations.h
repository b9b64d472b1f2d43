// One of the library's record and serial-number operations on `unit`, as the
// fuzz data picks it, the writes with the data's bytes: shared by the targets
// that put the library over a transport whose answers are the data.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "library.h"

inline void runOperation(FuzzedDataProvider &in, corvhid::Library &lib, std::int16_t unit) {
    std::uint8_t v[8] = {};
    char serial[6] = {};
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: lib.readSettings(unit, &v[0], &v[1], &v[2], &v[3]); break;
    case 1: lib.readAllSettings(unit, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]); break;
    case 2: lib.readAutoSequencing(unit, &v[0], &v[1], &v[2], &v[3]); break;
    case 3: lib.readNewestSettings(unit, &v[0], &v[1], &v[2], &v[3]); break;
    case 4: lib.readSerialNumber(unit, serial); break;
    case 5: in.ConsumeData(v, 4), lib.writeSettings(unit, v[0], v[1], v[2], v[3]); break;
    case 6: in.ConsumeData(v, 4), lib.writeAutoSequencing(unit, v[0], v[1], v[2], v[3]); break;
    case 7: in.ConsumeData(serial, 5), lib.writeSerialNumber(unit, serial); break;
    }
}
