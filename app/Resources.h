#pragma once

namespace tesseron {

// The icons live in the resource file of the static GUI library, which a program must
// register by hand; the application and any form that shows them call this first. Safe to
// call repeatedly: the registration happens once.
void InitTesseronResources();

} // namespace tesseron
