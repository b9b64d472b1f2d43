// What the tests look at inside a Library that its callers have no need of:
// the last error text as kept, the report lengths of the unit bound last,
// a unit's handles.
#pragma once

#include "library.h"

namespace corvhid {

struct LibraryInspector {
    static const char *lastErrorText(const Library &lib) { return lib.lastErrorText_; }
    static const ReportLengths &reportLengths(const Library &lib) { return lib.reportLengths_; }
    static Handle mainHandle(const Library &lib, unsigned unit) {
        return unit < lib.unitCount_ ? lib.mainHandles_[unit] : kNoHandle;
    }
    static Handle inputHandle(const Library &lib, unsigned unit) {
        return unit < lib.unitCount_ ? lib.inputHandles_[unit] : kNoHandle;
    }
};

} // namespace corvhid
