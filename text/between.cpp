#include "text/between.h"
