// Until the package installs <mirel/transition_view.h> itself.
#pragma once
#include "view/transition_view.h"
