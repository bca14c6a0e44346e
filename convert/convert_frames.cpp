#include "convert/convert_frames.h"
