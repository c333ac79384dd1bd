#include "text/random.h"
