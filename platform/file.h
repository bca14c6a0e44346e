// All of the project's file objects: the interfaces and the files on disk.
#pragma once

#include "platform/disk_input_file.h"
#include "platform/disk_output_file.h"
#include "platform/file_interface.h"
