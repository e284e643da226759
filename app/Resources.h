#pragma once

#include <QtGlobal>

// The icons live in the resource file of the static GUI library, which a program must
// register by hand; any form that shows them calls this first. Safe to call repeatedly.
inline void InitTesseronResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(tesseron);
        return true;
    }();
    (void)done;
}
