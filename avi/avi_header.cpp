#include "avi/avi_header.h"
