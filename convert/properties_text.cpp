#include "convert/properties_text.h"
