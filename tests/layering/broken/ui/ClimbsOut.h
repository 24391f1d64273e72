#pragma once
// A relative include that climbs out of its folder: the layer check cannot tell
// which layer it reaches, so it must refuse it whatever the target.
#include "../shell/AppShell.h"
