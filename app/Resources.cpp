#include "app/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the resource's registration function where it is used, so it
// must be used outside any namespace.
static void RegisterResources() {
    Q_INIT_RESOURCE(tesseron);
}

namespace tesseron {

void InitTesseronResources() {
    static const bool done = [] {
        RegisterResources();
        return true;
    }();
    (void)done;
}

} // namespace tesseron
