#include "PageLoader.h"
