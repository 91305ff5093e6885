#include "base/params.h"
#include "output/output_dir.h"
