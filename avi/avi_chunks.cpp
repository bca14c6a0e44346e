#include "avi/avi_chunks.h"
