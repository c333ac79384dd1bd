#include "text/url_encode.h"
