#include "convert/progress.h"
