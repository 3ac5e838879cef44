#include "upgrade/globals.h"
