#include "text/charset.h"
