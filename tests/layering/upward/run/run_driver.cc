#include "output/output_dir.h"
#include "segment/egg_list.h"
