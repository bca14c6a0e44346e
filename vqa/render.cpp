#include "vqa/render.h"
