#include "vqa/picture_chunk.h"
