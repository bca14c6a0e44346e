#include "convert/convert_thread.h"
