// Runs CarryOverInstalledBrand once, as an install does before it deletes the
// old install folder; the test copies this program into a payload folder and
// sets APPDATA for it.

#include "branding/brand_source.h"

int wmain() {
    CarryOverInstalledBrand();
    return 0;
}
