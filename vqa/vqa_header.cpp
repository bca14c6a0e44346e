#include "vqa/vqa_header.h"
