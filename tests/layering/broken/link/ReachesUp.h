#pragma once
// A link file that reaches up into the shell: the layer check must refuse it.
#include "shell/AppShell.h"
