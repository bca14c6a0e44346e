#include "vqa/ima_adpcm.h"
