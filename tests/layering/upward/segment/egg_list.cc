#include "base/params.h"
#include "run/output_dir.h"
