#include "convert/output_names.h"
