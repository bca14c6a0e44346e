#include "vqa/lcw.h"
